#include "DialogHost.h"

#include "PageFormat.h"

namespace tessaron::print {

DialogHost::DialogHost(std::string queue, std::string deviceURI, ppd_file_t* ppd, PrintSettings settings)
    : queue_(std::move(queue)), deviceURI_(std::move(deviceURI)), ppd_(ppd), settings_(std::move(settings)) {
    if (ppd_) {
        // Saved defaults are marked as lp would mark them (media, sides ... mapped to PPD options).
        CupsOptions saved;
        saved.add(settings_);
        cupsMarkOptions(ppd_, saved.count(), saved.options());
    }
}

bool DialogHost::choose(const std::string& key, const std::string& choice, std::string* why) {
    if (key.empty()) {
        if (why) *why = "an option needs a name";
        return false;
    }
    if (ppd_) {
        if (ppd_option_t* option = ppdFindOption(ppd_, key.c_str())) {
            if (!choosePPDChoice(option, choice, why)) return false;
            if (observer_) observer_(key, choice);
            return true;
        }
    }
    settings_.set(key, choice);
    if (observer_) observer_(key, choice);
    return true;
}

bool DialogHost::choosePPDChoice(ppd_option_t* option, const std::string& choice, std::string* why) {
    const std::string key = option->keyword;
    if (!ppdFindChoice(option, choice.c_str())) {
        if (why) *why = "the printer has no choice \"" + choice + "\" for " + key;
        return false;
    }
    // With nothing marked yet, a refused choice falls back to the PPD's default.
    ppd_choice_t* previous = ppdFindMarkedChoice(ppd_, key.c_str());
    const std::string previousChoice = previous ? previous->choice : option->defchoice;
    ppdMarkOption(ppd_, key.c_str(), choice.c_str());
    if (ppdConflicts(ppd_) > 0 && option->conflicted) {
        if (why) *why = key + "=" + choice + " conflicts with " + conflictsWith(key);
        if (!previousChoice.empty()) ppdMarkOption(ppd_, key.c_str(), previousChoice.c_str());
        ppdConflicts(ppd_);
        return false;
    }
    settings_.set(key, choice);
    return true;
}

std::string DialogHost::conflictsWith(const std::string& key) const {
    std::string names;
    for (ppd_option_t* other = ppdFirstOption(ppd_); other; other = ppdNextOption(ppd_)) {
        if (!other->conflicted || key == other->keyword) continue;
        const ppd_choice_t* marked = ppdFindMarkedChoice(ppd_, other->keyword);
        if (!names.empty()) names += ", ";
        names += std::string(other->keyword) + "=" + (marked ? marked->choice : "");
    }
    return names.empty() ? "the printer's constraints" : names;
}

std::optional<std::string> DialogHost::currentValue(const std::string& key) const {
    if (ppd_ && ppdFindOption(ppd_, key.c_str())) {
        if (ppd_choice_t* marked = ppdFindMarkedChoice(ppd_, key.c_str())) return std::string(marked->choice);
    }
    return settings_.value(key);
}

QString DialogHost::printerID() const { return QString::fromStdString(queue_); }

QString DialogHost::printerDeviceURI() const { return QString::fromStdString(deviceURI_); }

bool DialogHost::willChangePPDOptionKeyValuePpdChoice(const QString& key, const QString& choice) {
    return choose(key.toStdString(), choice.toStdString());
}

std::optional<QString> DialogHost::printSettingsGetValue(const QString& key) const {
    if (auto v = settings_.value(key.toStdString())) return QString::fromStdString(*v);
    return std::nullopt;
}

int DialogHost::printSettingsSetValue(const QString& key, const QString& value) {
    if (key.isEmpty()) return -1;
    settings_.set(key.toStdString(), value.toStdString());
    return 0;
}

std::optional<pde::PageOrientation> DialogHost::orientation() const {
    return orientationFromIPP(settings_.value("orientation-requested"));
}

std::optional<pde::PaperRect> DialogHost::unadjustedPaperRect() const {
    // The paper as it is fed, whatever the orientation: the panels turn it themselves.
    return print::unadjustedPaperRect(ppd_, {}, pde::PageOrientation::Portrait);
}

}  // namespace tessaron::print
