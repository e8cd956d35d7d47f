// Job options and PPD queries with their fall-backs: job option, marked choice, default
// choice, "<name>Default" attribute.
#include "PLUMEX_CUPSPrintJob.h"

#include "PLUMEX_CUPSPrintJobInternal.h"

std::optional<std::string> PLUMEX_CUPSPrintJob::cupsOptionValueForKey(const std::string& name) const {
    if (const char* value = cupsGetOption(name.c_str(), static_cast<int>(_num_options), _options)) return std::string(value);
    return cupsChoiceForOptionForPPD(name, _ppd);
}

std::map<std::string, std::string> PLUMEX_CUPSPrintJob::parsedOptions(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (std::optional<std::string> value = cupsOptionValueForKey(name))
            _printerSettings[name] = *value;
        else
            jobDebug("Failed to find PPD choice for option:%s", name.c_str());
    }
    return _printerSettings;
}

std::optional<std::string> PLUMEX_CUPSPrintJob::ppdValueForAttribute(const std::string& name) const {
    if (!_ppd || name.empty()) return std::nullopt;
    return cupsValueForAttributeForPPD(name, _ppd);
}

std::optional<std::string> PLUMEX_CUPSPrintJob::cupsValueForAttributeForPPD(const std::string& name, ppd_file_t* ppd) {
    if (!ppd || name.empty()) return std::nullopt;
    ppd_attr_t* attribute = ppdFindAttr(ppd, name.c_str(), nullptr);
    // An empty value is a value (the PPD's empty defaults); only a missing attribute is none.
    if (!attribute || !attribute->value) return std::nullopt;
    return std::string(attribute->value);
}

std::optional<std::string> PLUMEX_CUPSPrintJob::cupsChoiceForOptionForPPD(const std::string& name, ppd_file_t* ppd) {
    if (!ppd || name.empty()) return std::nullopt;
    if (ppd_choice_t* marked = ppdFindMarkedChoice(ppd, name.c_str())) return std::string(marked->choice);
    return cupsDefaultChoiceForOptionForPPD(name, ppd);
}

std::optional<std::string> PLUMEX_CUPSPrintJob::cupsDefaultChoiceForOptionForPPD(const std::string& name, ppd_file_t* ppd) {
    if (!ppd || name.empty()) return std::nullopt;
    if (ppd_option_t* option = ppdFindOption(ppd, name.c_str())) return std::string(option->defchoice);
    return cupsValueForAttributeForPPD(name + "Default", ppd);
}
