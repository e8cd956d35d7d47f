// `cmake --install` into a scratch DESTDIR: every deliverable where CUPS and the lab look
// for it, with the modes CUPS needs (it runs a backend as lp only when group and others
// may not write it, and as root only when it is 0700).
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "Process.h"
#include "TempDir.h"

namespace tessaron::test {
namespace {

struct Installed {
    std::string path;
    mode_t mode;
};

std::vector<Installed> deliverables() {
    std::vector<Installed> d = {
        {TESSARON_CUPS_SERVERBIN "/backend/vantrelps", 0755},
        {TESSARON_CUPS_SERVERBIN "/filter/rastertovantrel", 0755},
        {TESSARON_CUPS_SERVERBIN "/filter/commandtovantrel", 0755},
        {TESSARON_PPD_DIR "/vantrjrx.ppd", 0644},
        {TESSARON_INSTALL_BINDIR "/tessaron-minilab", 0755},
        {TESSARON_INSTALL_LOCALEDIR "/de/LC_MESSAGES/tessaron.mo", 0644},
        {TESSARON_INSTALL_MANDIR "/man8/vantrelps.8", 0644},
        {TESSARON_INSTALL_MANDIR "/man1/tessaron-minilab.1", 0644},
        {TESSARON_INSTALL_MANDIR "/man1/tessaron-print.1", 0644},
        {TESSARON_INSTALL_MANDIR "/man1/tessaron-printer-app.1", 0644},
    };
    if (TESSARON_WITH_PRINTER_APP) d.push_back({TESSARON_INSTALL_BINDIR "/tessaron-printer-app", 0755});
    if (TESSARON_WITH_PDE) {
        d.push_back({TESSARON_INSTALL_BINDIR "/tessaron-print", 0755});
        d.push_back({TESSARON_PLUGIN_DIR "/TessaronPDE.so", 0644});
    }
    return d;
}

TEST(InstallTest, EveryDeliverableLandsWithItsModeAndNothingIsWritableByOthers) {
    TempDir dest;
    ProcessSpec spec;
    spec.program = TESSARON_CMAKE_COMMAND;
    spec.args = {"--install", TESSARON_BINARY_DIR};
    spec.env = {{"DESTDIR", dest.path()}};
    spec.timeout = std::chrono::milliseconds(90000);
    ProcessResult r = runProcess(spec);
    ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;

    for (const Installed& item : deliverables()) {
        SCOPED_TRACE(item.path);
        struct stat st {};
        ASSERT_EQ(lstat((dest.path() + item.path).c_str(), &st), 0) << "not installed";
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, item.mode);
        if (geteuid() == 0) {
            EXPECT_EQ(st.st_uid, 0u);
        }
    }
    // The PPD is where `lpadmin -m vantrel/vantrjrx.ppd` finds it.
    EXPECT_NE(std::string(TESSARON_PPD_DIR).find("/ppd/vantrel"), std::string::npos);

    for (const auto& entry : std::filesystem::recursive_directory_iterator(dest.path())) {
        struct stat st {};
        if (lstat(entry.path().c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            EXPECT_EQ(st.st_mode & S_IWOTH, 0u) << entry.path();
        }
    }
}

}  // namespace
}  // namespace tessaron::test
