// One compiled gettext catalogue (a .mo file), read whole into memory and looked up without
// touching the process: no locale switch, no environment write, safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tessaron {

class MessageCatalogue {
public:
    // Catalogues are a few KiB; anything larger than this is not one of ours.
    static constexpr size_t kMaxFileSize = 8u << 20;

    // The catalogue in `bytes`, or nothing when they are not a well-formed .mo file.
    static std::optional<MessageCatalogue> parse(std::span<const uint8_t> bytes);
    // Reads `path` (a symbolic link is not followed); nothing when absent or malformed.
    static std::optional<MessageCatalogue> load(const std::string& path);

    // The translation of `english`, or null. A plural entry answers with its first form.
    const std::string* find(std::string_view english) const;
    size_t size() const { return translations_.size(); }

private:
    std::unordered_map<std::string, std::string> translations_;
};

}  // namespace tessaron
