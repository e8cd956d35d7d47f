#include "Localize.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace {

void setLanguageEnvironment(const char* language, const char* lcAll, const char* lcMessages, const char* lang) {
    const auto put = [](const char* name, const char* value) {
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    };
    put("LANGUAGE", language);
    put("LC_ALL", lcAll);
    put("LC_MESSAGES", lcMessages);
    put("LANG", lang);
}

using List = std::vector<std::string>;

}  // namespace

TEST(PreferredLanguages, FromTheLocaleVariablesInGettextsOrder) {
    setLanguageEnvironment(nullptr, nullptr, nullptr, "de_AT.UTF-8");
    EXPECT_EQ(tessaron::preferredLanguages(), (List{"de_AT", "de", "en"}));
    setLanguageEnvironment(nullptr, "fr_FR.UTF-8", "it_IT", "de_DE.UTF-8");
    EXPECT_EQ(tessaron::preferredLanguages(), (List{"fr_FR", "fr", "en"}));
    setLanguageEnvironment(nullptr, "", "it_IT@euro", "de_DE.UTF-8");
    EXPECT_EQ(tessaron::preferredLanguages(), (List{"it_IT", "it", "en"}));
    setLanguageEnvironment("nl:de_CH", nullptr, nullptr, "en_GB.UTF-8");
    EXPECT_EQ(tessaron::preferredLanguages(), (List{"nl", "de_CH", "de", "en_GB", "en"}));
    // Under the C locale gettext ignores LANGUAGE.
    setLanguageEnvironment("de", "C", nullptr, nullptr);
    EXPECT_EQ(tessaron::preferredLanguages(), (List{"en"}));
    setLanguageEnvironment(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(tessaron::preferredLanguages(), (List{"en"}));
}

// Needs the catalogues of the build tree (TESSARON_LOCALEDIR) and runs in a process of its
// own: the catalogue is bound on first use.
TEST(LocalizedString, GermanFromTheCatalogueEnglishOtherwise) {
    ASSERT_NE(std::getenv("TESSARON_LOCALEDIR"), nullptr);
    // The German locale need not be installed on the host.
    setLanguageEnvironment(nullptr, nullptr, nullptr, "de_DE.UTF-8");
    EXPECT_EQ(tessaron::localizedString("Unrecoverable error"), "Nicht behebbarer Fehler");
    EXPECT_EQ(tessaron::localizedString("\"%s\" is not online!"), "\"%s\" ist nicht erreichbar!");
    EXPECT_EQ(tessaron::localizedString("A text nobody translated"), "A text nobody translated");
    EXPECT_EQ(tessaron::localizedString(""), "");
}

// The panels look texts up from worker threads while the dialog's other threads read the
// environment and the locale: the first lookup must change neither, and every thread must
// see the same translation.
TEST(LocalizedString, TheFirstLookupFromManyThreadsLeavesEnvironmentAndLocaleAlone) {
    setLanguageEnvironment(nullptr, nullptr, nullptr, "de_DE.UTF-8");
    char** const environmentBefore = environ;
    const std::string messagesBefore = setlocale(LC_MESSAGES, nullptr);
    std::vector<std::string> seen(8);
    std::vector<std::thread> threads;
    for (auto& text : seen) threads.emplace_back([&text] { text = tessaron::localizedString("Unrecoverable error"); });
    for (auto& thread : threads) thread.join();
    for (const auto& text : seen) EXPECT_EQ(text, "Nicht behebbarer Fehler");
    EXPECT_EQ(environ, environmentBefore);
    EXPECT_EQ(std::getenv("LANGUAGE"), nullptr);
    EXPECT_EQ(setlocale(LC_MESSAGES, nullptr), messagesBefore);
}
