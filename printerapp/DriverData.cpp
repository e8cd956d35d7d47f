#include "DriverData.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "RasterJob.h"
#include "VendorOptions.h"

namespace tessaron::printerapp {
namespace {

// PAPPL keeps pointers to the media, source and type names for as long as a printer lives,
// across refreshes: they are interned once here. The pool is bounded; a lab that keeps
// inventing names gets the fallback size.
constexpr std::size_t kMaxInterned = 8192;
constexpr const char* kFallbackSize = "na_index-4x6_4x6in";
constexpr int kFallbackResolution = 300;

const char* intern(const std::string& text) {
    static std::mutex mutex;
    static std::set<std::string> pool;
    std::lock_guard lock(mutex);
    if (auto it = pool.find(text); it != pool.end()) return it->c_str();
    if (pool.size() >= kMaxInterned) return nullptr;
    return pool.insert(text).first->c_str();
}

void copyText(char* field, std::size_t size, const std::string& text) {
    std::strncpy(field, text.c_str(), size - 1);
    field[size - 1] = '\0';
}

pappl_media_col_t mediaCol(const ReadyMedia& ready) {
    pappl_media_col_t col{};
    copyText(col.size_name, sizeof col.size_name, ready.size.name);
    col.size_width = ready.size.width;
    col.size_length = ready.size.length;
    copyText(col.source, sizeof col.source, ready.source);
    copyText(col.type, sizeof col.type, ready.type);
    return col;
}

void fillMedia(pappl_pr_driver_data_t& data, const Capabilities& caps) {
    data.num_media = 0;
    for (const MediaSize& size : caps.sizes) {
        if (data.num_media >= PAPPL_MAX_MEDIA) break;
        if (const char* name = intern(size.name)) data.media[data.num_media++] = name;
    }
    if (data.num_media == 0) data.media[data.num_media++] = kFallbackSize;

    data.num_source = 0;
    std::memset(data.media_ready, 0, sizeof data.media_ready);
    for (const ReadyMedia& ready : caps.ready) {
        if (data.num_source >= PAPPL_MAX_SOURCE) break;
        const char* source = intern(ready.source);
        if (!source) break;
        data.media_ready[data.num_source] = mediaCol(ready);
        data.source[data.num_source++] = source;
    }
    data.num_type = 0;
    for (const std::string& type : caps.types) {
        if (data.num_type >= PAPPL_MAX_TYPE) break;
        if (const char* name = intern(type)) data.type[data.num_type++] = name;
    }
}

bool offered(const pappl_pr_driver_data_t& data, const char* sizeName) {
    for (int i = 0; i < data.num_media; ++i)
        if (std::strcmp(data.media[i], sizeName) == 0) return true;
    return false;
}

void fillDefaults(pappl_pr_driver_data_t& data) {
    if (!offered(data, data.media_default.size_name)) {
        if (data.num_source > 0) {
            data.media_default = data.media_ready[0];
        } else {
            data.media_default = pappl_media_col_t{};
            copyText(data.media_default.size_name, sizeof data.media_default.size_name, data.media[0]);
            if (pwg_media_t* pwg = pwgMediaForPWG(data.media[0])) {
                data.media_default.size_width = pwg->width;
                data.media_default.size_length = pwg->length;
            }
        }
    }
    const bool resolutionKept = std::any_of(data.x_resolution, data.x_resolution + data.num_resolution,
                                            [&](int x) { return x == data.x_default; });
    if (!resolutionKept) data.x_default = data.y_default = data.x_resolution[data.num_resolution - 1];
    if (!(data.sides_supported & data.sides_default)) data.sides_default = PAPPL_SIDES_ONE_SIDED;
}

pappl_preason_t reasonBits(const std::vector<std::string>& reasons) {
    static const std::map<std::string, pappl_preason_t> kBits = {
        {"offline", PAPPL_PREASON_OFFLINE}, {"media-empty", PAPPL_PREASON_MEDIA_EMPTY},
        {"media-low", PAPPL_PREASON_MEDIA_LOW}, {"other", PAPPL_PREASON_OTHER}};
    pappl_preason_t bits = PAPPL_PREASON_NONE;
    for (const std::string& reason : reasons)
        if (auto it = kBits.find(reason); it != kBits.end()) bits |= it->second;
    return bits;
}

void applySupplies(pappl_printer_t* printer, const Capabilities& caps) {
    pappl_supply_t supplies[32]{};
    int count = 0;
    for (const Supply& supply : caps.supplies) {
        if (count >= 32) break;
        pappl_supply_t& s = supplies[count++];
        s.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
        copyText(s.description, sizeof s.description, supply.description);
        s.is_consumed = true;
        s.level = supply.level;
        s.type = PAPPL_SUPPLY_TYPE_OTHER;
    }
    papplPrinterSetSupplies(printer, count, supplies);
}

}  // namespace

std::map<std::string, std::string> savedVendorDefaults(pappl_printer_t* printer) {
    std::map<std::string, std::string> defaults;
    ipp_t* current = papplPrinterGetDriverAttributes(printer);
    for (const VendorOption& option : vendorOptions()) {
        const std::string name = std::string(option.name) + "-default";
        // The value itself: ippAttributeString escapes quotes and backslashes, which would
        // grow the text by a backslash at every refresh.
        if (ipp_attribute_t* attr = ippFindAttribute(current, name.c_str(), IPP_TAG_INTEGER)) {
            defaults[name] = std::to_string(ippGetInteger(attr, 0));
        } else if (const char* text = ippGetString(ippFindAttribute(current, name.c_str(), IPP_TAG_TEXT), 0, nullptr)) {
            defaults[name] = text;
        }
    }
    ippDelete(current);
    return defaults;
}

void addAlertAttributes(ipp_t* attrs, const Capabilities& caps) {
    ipp_attribute_t* alerts = nullptr;
    ipp_attribute_t* descriptions = nullptr;
    int index = 0;
    for (const Alert& alert : caps.alerts) {
        ++index;
        const std::string value = "code=other;index=" + std::to_string(index) + ";severity=" + alert.severity;
        const int size = static_cast<int>(value.size());
        if (!alerts) {
            alerts = ippAddOctetString(attrs, IPP_TAG_PRINTER, "printer-alert", value.data(), size);
            descriptions = ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-alert-description", nullptr,
                                        alert.description.c_str());
        } else {
            ippSetOctetString(attrs, &alerts, ippGetCount(alerts), value.data(), size);
            ippSetString(attrs, &descriptions, ippGetCount(descriptions), alert.description.c_str());
        }
    }
}

void fillFixedDriverData(pappl_pr_driver_data_t& data) {
    data.rstartjob_cb = startRasterJob;
    data.rstartpage_cb = startRasterPage;
    data.rwriteline_cb = writeRasterLine;
    data.rendpage_cb = endRasterPage;
    data.rendjob_cb = endRasterJob;
    data.status_cb = nullptr;
    copyText(data.make_and_model, sizeof data.make_and_model, kDriverDescription);
    data.format = nullptr;
    data.ppm = data.ppm_color = 10;
    data.kind = PAPPL_KIND_PHOTO | PAPPL_KIND_ROLL;
    data.has_supplies = true;
    data.color_supported = PAPPL_COLOR_MODE_COLOR;
    data.color_default = PAPPL_COLOR_MODE_COLOR;
    data.content_default = PAPPL_CONTENT_PHOTO;
    data.quality_default = IPP_QUALITY_HIGH;
    data.orient_default = IPP_ORIENT_PORTRAIT;
    // The backend reads 8-bit RGB only; sRGB data is the same bytes.
    data.raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8;
    data.force_raster_type = PAPPL_PWG_RASTER_TYPE_SRGB_8;
    data.borderless = false;
    data.left_right = data.bottom_top = 0;
    data.num_vendor = 0;
    for (const VendorOption& option : vendorOptions())
        if (data.num_vendor < PAPPL_MAX_VENDOR) data.vendor[data.num_vendor++] = option.name;
}

void fillLabDriverData(pappl_pr_driver_data_t& data, const Capabilities& caps) {
    fillMedia(data, caps);
    data.num_resolution = 0;
    for (int dpi : caps.resolutions) {
        if (data.num_resolution >= PAPPL_MAX_RESOLUTION) break;
        data.x_resolution[data.num_resolution] = data.y_resolution[data.num_resolution] = dpi;
        ++data.num_resolution;
    }
    if (data.num_resolution == 0) {
        data.x_resolution[0] = data.y_resolution[0] = kFallbackResolution;
        data.num_resolution = 1;
    }
    data.duplex = caps.duplex ? PAPPL_DUPLEX_NORMAL : PAPPL_DUPLEX_NONE;
    data.sides_supported = PAPPL_SIDES_ONE_SIDED;
    if (caps.duplex) data.sides_supported |= PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
    fillDefaults(data);
}

void applyCapabilities(pappl_printer_t* printer, const Capabilities& caps) {
    pappl_pr_driver_data_t data;
    if (!papplPrinterGetDriverData(printer, &data)) return;
    fillLabDriverData(data, caps);
    ipp_t* attrs = ippNew();
    addVendorAttributes(attrs, savedVendorDefaults(printer));
    addAlertAttributes(attrs, caps);
    if (!papplPrinterSetDriverData(printer, &data, attrs))
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "The lab's capabilities were refused.");
    ippDelete(attrs);
    applySupplies(printer, caps);
    const pappl_preason_t managed =
        PAPPL_PREASON_OFFLINE | PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MEDIA_LOW | PAPPL_PREASON_OTHER;
    const pappl_preason_t set = reasonBits(caps.reasons);
    papplPrinterSetReasons(printer, set, managed & ~set);
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "%s", caps.message.c_str());
}

}  // namespace tessaron::printerapp
