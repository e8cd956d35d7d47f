// The inventory of this host's active IPv4 interfaces. A "network service" is an interface
// that carries a default route; the service order is the order of those routes by metric.
#include "PLUMEX_PrintCoreNetwork.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include "PLUMEX_CUPSLog.h"

namespace {

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text, '\0');
    return text;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string hardwareText(const std::array<std::uint8_t, 6>& a) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

// Type text from sysfs: wireless/ marks Wi-Fi; ARP type 1 is Ethernet, 772 loopback.
std::optional<std::string> interfaceType(const std::string& sysDir) {
    struct stat st{};
    if (::stat((sysDir + "/wireless").c_str(), &st) == 0) return "Wi-Fi";
    const std::string type = trimmed(readSmallFile(sysDir + "/type"));
    if (type == "1") return "Ethernet";
    if (type == "772") return "Loopback";
    if (type.empty()) return std::nullopt;
    return "ARP type " + type;
}

struct DefaultRoute {
    std::string interface;
    long metric;
    std::size_t line;
};

// Default routes of /proc/net/route (destination and mask 0, route up), by metric.
std::vector<DefaultRoute> defaultRoutes(const std::string& table) {
    std::vector<DefaultRoute> routes;
    std::istringstream in(table);
    std::string line;
    std::getline(in, line);  // column titles
    for (std::size_t n = 0; std::getline(in, line); ++n) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, mask;
        unsigned long flags = 0, refcnt = 0, use = 0;
        long metric = 0;
        if (!(fields >> iface >> destination >> gateway >> std::hex >> flags >> std::dec >> refcnt >> use >> metric >> mask))
            continue;
        if (destination != "00000000" || mask != "00000000" || !(flags & 0x1)) continue;
        routes.push_back({iface, metric, n});
    }
    std::stable_sort(routes.begin(), routes.end(), [](const auto& a, const auto& b) { return a.metric < b.metric; });
    return routes;
}

}  // namespace

PLUMEX_PrintCoreNetwork::InventorySources PLUMEX_PrintCoreNetwork::systemInventorySources() {
    InventorySources sources;
    sources.routeTable = readSmallFile("/proc/net/route");
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return sources;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        InterfaceAddress entry;
        entry.name = a->ifa_name ? a->ifa_name : "";
        entry.flags = a->ifa_flags;
        entry.family = a->ifa_addr ? a->ifa_addr->sa_family : AF_UNSPEC;
        auto ip4 = [](const sockaddr* s) -> std::optional<std::uint32_t> {
            if (!s || s->sa_family != AF_INET) return std::nullopt;
            return ntohl(reinterpret_cast<const sockaddr_in*>(s)->sin_addr.s_addr);
        };
        if (entry.family == AF_INET) {
            entry.address = ip4(a->ifa_addr);
            entry.netmask = ip4(a->ifa_netmask);
            entry.broadcast = ip4(a->ifa_broadaddr);  // or the point-to-point peer
        } else if (entry.family == AF_PACKET) {
            const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
            if (ll->sll_halen == 6) {
                std::array<std::uint8_t, 6> hw{};
                std::copy(ll->sll_addr, ll->sll_addr + 6, hw.begin());
                entry.hardwareAddress = hw;
            }
        }
        sources.addresses.push_back(std::move(entry));
    }
    ::freeifaddrs(list);
    return sources;
}

PLUMEX_InterfaceInventory PLUMEX_PrintCoreNetwork::activeInterfacesFrom(const InventorySources& sources) {
    PLUMEX_InterfaceInventory inventory;
    std::vector<std::string> order;  // interfaces in the system's order, for the fallback
    for (const auto& a : sources.addresses) {
        if (a.family != AF_INET || !a.address || !a.netmask) continue;
        PLUMEX_InterfaceDictionary dict;
        dict["PF_INET_ADDRESS"] = dottedQuadString(*a.address);
        dict["PF_INET_NETMASK"] = dottedQuadString(*a.netmask);
        if (a.broadcast) dict["PF_INET_BROADCAST"] = dottedQuadString(*a.broadcast);
        dict["BSD_NAME"] = a.name;
        if (!inventory.interfaces.count(a.name)) order.push_back(a.name);
        inventory.interfaces[a.name] = std::move(dict);
    }
    for (const auto& a : sources.addresses) {
        auto it = inventory.interfaces.find(a.name);
        if (it == inventory.interfaces.end()) continue;
        auto& dict = it->second;
        if (!dict.count("INTERFACE_TYPE")) {
            if (auto type = interfaceType(sources.sysClassNet + "/" + a.name)) {
                dict["INTERFACE_TYPE"] = *type;
                dict["DISPLAY_NAME"] = *type + " (" + a.name + ")";
            }
        }
        if (a.hardwareAddress) dict["HARDWARE_ADDRESS"] = hardwareText(*a.hardwareAddress);
    }
    for (const auto& route : defaultRoutes(sources.routeTable)) {
        auto it = inventory.interfaces.find(route.interface);
        const std::string id = "route:" + route.interface;
        if (it == inventory.interfaces.end() || it->second.count("NET_SERVICE_ID")) continue;
        auto display = it->second.find("DISPLAY_NAME");
        it->second["NET_SERVICE_NAME"] = display != it->second.end() ? display->second : route.interface;
        it->second["NET_SERVICE_ID"] = id;
        inventory.SERVICE_ID_ORDER.push_back(id);
        inventory.INTERFACE_ORDER.push_back(route.interface);
    }
    // Without a default route (a sandbox, a lab network without a gateway) the client still
    // needs an identity: the first interface that is up and not loopback, else loopback.
    if (inventory.INTERFACE_ORDER.empty()) {
        auto flagsOf = [&](const std::string& name) {
            unsigned flags = 0;
            for (const auto& a : sources.addresses)
                if (a.name == name && a.family == AF_INET) flags |= a.flags;
            return flags;
        };
        std::optional<std::string> fallback;
        for (const auto& name : order) {
            const unsigned flags = flagsOf(name);
            if ((flags & IFF_UP) && !(flags & IFF_LOOPBACK)) { fallback = name; break; }
        }
        if (!fallback)
            for (const auto& name : order)
                if (flagsOf(name) & IFF_LOOPBACK) { fallback = name; break; }
        if (fallback) inventory.INTERFACE_ORDER.push_back(*fallback);
    }
    return inventory;
}

PLUMEX_InterfaceInventory PLUMEX_PrintCoreNetwork::activeInterfaces() { return activeInterfacesFrom(systemInventorySources()); }

std::optional<PLUMEX_InterfaceDictionary> PLUMEX_PrintCoreNetwork::primaryInterface() {
    auto inventory = activeInterfaces();
    if (inventory.INTERFACE_ORDER.empty()) return std::nullopt;
    auto it = inventory.interfaces.find(inventory.INTERFACE_ORDER.front());
    if (it == inventory.interfaces.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> PLUMEX_PrintCoreNetwork::primaryHardwareAddress() {
    auto primary = primaryInterface();
    if (!primary || !primary->count("HARDWARE_ADDRESS")) return std::nullopt;
    return primary->at("HARDWARE_ADDRESS");
}

std::optional<std::string> PLUMEX_PrintCoreNetwork::primaryIPAddress() {
    auto primary = primaryInterface();
    if (!primary || !primary->count("PF_INET_ADDRESS")) return std::nullopt;
    return primary->at("PF_INET_ADDRESS");
}

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// A field of `maxDigits` digits at most in `base`, no sign, no other characters; none otherwise.
std::optional<unsigned long> numberField(const std::string& part, int base, std::size_t maxDigits, unsigned long limit) {
    if (part.empty() || part.size() > maxDigits) return std::nullopt;
    for (const char c : part)
        if (base == 16 ? !std::isxdigit(static_cast<unsigned char>(c)) : !std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    const unsigned long value = std::strtoul(part.c_str(), nullptr, base);
    if (value > limit) return std::nullopt;
    return value;
}

// N fields of `text` between separators, each of 1 to `digits` digits in `base` and at most
// `limit`, as N bytes.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> bytesFromFields(const std::string& text, char separator, int base,
                                                           std::size_t digits, unsigned long limit) {
    const auto parts = split(text, separator);
    if (parts.size() != N) return std::nullopt;
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) {
        const auto value = numberField(parts[i], base, digits, limit);
        if (!value) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(*value);
    }
    return bytes;
}

}  // namespace

std::optional<std::array<std::uint8_t, 6>> PLUMEX_PrintCoreNetwork::networkOrderDataForMacAddress(const std::string& text) {
    return bytesFromFields<6>(text, ':', 16, 2, 0xFF);
}

std::optional<std::array<std::uint8_t, 4>> PLUMEX_PrintCoreNetwork::networkOrderDataForIP4Address(const std::string& text) {
    return bytesFromFields<4>(text, '.', 10, 3, 255);
}
