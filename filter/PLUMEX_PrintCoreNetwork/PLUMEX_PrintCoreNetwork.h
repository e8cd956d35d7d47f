// Reaching a minilab over IPv4 TCP: the host and its resolution, the run-loop driven outbound
// connection (connect, send, read events), the waiting-data queue, a per-object property
// store, the one-worker-thread registry and the inventory of this host's network interfaces.
// Subclasses override the event hooks.
#pragma once

#include <any>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <netinet/in.h>

#include "Observers.h"
#include "RunLoop.h"
#include "UniqueFd.h"

// Receives forwarded connection events; both optional.
class PLUMEX_PrintCoreNetworkDelegate {
public:
    virtual ~PLUMEX_PrintCoreNetworkDelegate() = default;
    virtual void newDataAvailable(const tessaron::Notification&) {}
    virtual void socketDidConnect(const tessaron::Notification&) {}
};

// One interface of the inventory: "PF_INET_ADDRESS", "PF_INET_NETMASK", "PF_INET_BROADCAST",
// "BSD_NAME", "INTERFACE_TYPE", "DISPLAY_NAME", "HARDWARE_ADDRESS", "NET_SERVICE_NAME",
// "NET_SERVICE_ID" (each present when known).
using PLUMEX_InterfaceDictionary = std::map<std::string, std::string>;

struct PLUMEX_InterfaceInventory {
    std::map<std::string, PLUMEX_InterfaceDictionary> interfaces;  // by BSD name
    std::vector<std::string> SERVICE_ID_ORDER;
    std::vector<std::string> INTERFACE_ORDER;
};

class PLUMEX_PrintCoreNetwork {
public:
    PLUMEX_PrintCoreNetwork();
    virtual ~PLUMEX_PrintCoreNetwork();
    PLUMEX_PrintCoreNetwork(const PLUMEX_PrintCoreNetwork&) = delete;
    PLUMEX_PrintCoreNetwork& operator=(const PLUMEX_PrintCoreNetwork&) = delete;

    // ---- Host and address ----------------------------------------------------------------
    // None drops the host object but keeps the previous host name text.
    void setHostName(const std::optional<std::string>& name);
    const std::optional<std::string>& hostName() const { return _hostName; }
    // Resolves the host now (blocking); true and the address set on success.
    bool connectToPort(std::uint16_t port);
    void setSocketAddress();
    // The 16-byte sockaddr_in wire image (family 2, port and address in network order).
    const std::optional<std::vector<std::uint8_t>>& addressData() const { return _addressData; }
    std::optional<std::string> stringForCurrentIP4Address() const;
    void setPrinterName(const std::optional<std::string>& name) { _printerName = name; }
    const std::optional<std::string>& printerName() const { return _printerName; }
    void setDelegate(PLUMEX_PrintCoreNetworkDelegate* delegate) { _delegate = delegate; }
    void setDataToSend(std::optional<std::vector<std::uint8_t>> data) { _dataToSend = std::move(data); }
    void setReuseSocketIfPossible(bool reuse) { _shouldReuseSocket = reuse; }

    // ---- Run loop ----------------------------------------------------------------------
    void setShouldStartRunLoop(bool on);
    bool shouldStartRunLoop() const;
    static bool runLoopIsRunning();
    void startRunLoopIfNecessary();

    // ---- Asynchronous path -------------------------------------------------------------
    // Connects (retrying every 5 s while the printer is unreachable) and sends `data` from
    // the connect event; with shouldStartRunLoop it returns after the reply's read event.
    void sendData(std::vector<std::uint8_t> data);
    void sendDataAsync();
    // 0 done, 1 connection failed.
    int openCurrentPort();
    void destroyOutSocket();
    // The descriptor of the outbound connection, -1 when there is none.
    int nativeSocket() const { return _outSocket.get(); }
    bool socketIsConnected() const { return _socketIsConnected; }

    // ---- Event hooks -------------------------------------------------------------------
    virtual void deviceOffline() {}
    virtual void deviceOnline() {}
    // `socket` -1: the current outbound connection.
    virtual void dataWaitingToBeReadOnSocket(int socket) { (void)socket; }
    virtual void newDataAvailable(const tessaron::Notification& notification);
    virtual void socketDidConnect(const tessaron::Notification& notification);

    // ---- Waiting-data queue ------------------------------------------------------------
    void addToWaitingData(const std::optional<std::vector<std::uint8_t>>& data);
    std::uint64_t availableDataSize() const;
    std::optional<std::vector<std::uint8_t>> availableDataPeekAtFirstBytes(std::size_t count) const;
    std::optional<std::vector<std::uint8_t>> copyAvailableData();
    std::optional<std::vector<std::uint8_t>> availableData() { return copyAvailableData(); }

    // ---- Property store ----------------------------------------------------------------
    // Scratch state of this object and its subclass, by key. Conventions: flags as bool,
    // counts as std::int64_t, texts as std::string.
    bool hasValueForKey(const std::string& key) const { return _values.count(key) != 0; }
    void setValueForKey(const std::string& key, std::any value) { _values[key] = std::move(value); }
    void removeValueForKey(const std::string& key) { _values.erase(key); }
    template <class T>
    T* valueForKey(const std::string& key) {
        auto it = _values.find(key);
        return it == _values.end() ? nullptr : std::any_cast<T>(&it->second);
    }
    template <class T>
    const T* valueForKey(const std::string& key) const {
        auto it = _values.find(key);
        return it == _values.end() ? nullptr : std::any_cast<T>(&it->second);
    }
    bool boolValueForKey(const std::string& key) const {
        const bool* b = valueForKey<bool>(key);
        return b && *b;
    }

    // ---- Addresses ---------------------------------------------------------------------
    static std::string dottedQuadString(std::uint32_t hostOrder);
    static std::optional<std::string> stringForIPAddress(const sockaddr_in* address);

    // ---- Thread registry ---------------------------------------------------------------
    // Starts `body` on a detached thread unless one is alive; false when refused.
    static bool newThreadForSelectorToTargetWithObject(std::function<void()> body);
    // The started thread calls this on itself first: its exit is then counted.
    static void registerNewThread();
    static void threadWillExit();
    static std::uint64_t threadCount();

    // ---- Interface inventory -----------------------------------------------------------
    static PLUMEX_InterfaceInventory activeInterfaces();
    static std::optional<PLUMEX_InterfaceDictionary> primaryInterface();
    static std::optional<std::string> primaryHardwareAddress();
    static std::optional<std::string> primaryIPAddress();
    static std::optional<std::array<std::uint8_t, 6>> networkOrderDataForMacAddress(const std::string& text);
    static std::optional<std::array<std::uint8_t, 4>> networkOrderDataForIP4Address(const std::string& text);

    // What the inventory is built from; activeInterfaces() reads the live system.
    struct InterfaceAddress {
        std::string name;
        int family = 0;                  // AF_INET, AF_INET6, AF_PACKET, ...
        std::optional<std::uint32_t> address, netmask, broadcast;  // IPv4, host order
        std::optional<std::array<std::uint8_t, 6>> hardwareAddress;  // AF_PACKET
        unsigned flags = 0;              // IFF_*
    };
    struct InventorySources {
        std::vector<InterfaceAddress> addresses;  // in the system's order
        std::string routeTable;                   // the text of /proc/net/route
        std::string sysClassNet = "/sys/class/net";
    };
    static PLUMEX_InterfaceInventory activeInterfacesFrom(const InventorySources& sources);
    static InventorySources systemInventorySources();

    // Test seam: the pause between connection attempts of sendData (5 s).
    static void setReconnectPause(std::chrono::milliseconds pause);

protected:
    void handleSocketEvent(unsigned events, int error);

    std::map<std::string, std::any> _values;
    bool _currentHost = false;  // a host name is set
    tessaron::UniqueFd _outSocket;     // the run-loop connection
    tessaron::UniqueFd _nativeSocket;  // the blocking connection of one synchronous transaction
    std::optional<std::vector<std::uint8_t>> _addressData;
    tessaron::RunLoop::SourceId _socketRunLoopSrc = 0;
    struct { std::int64_t domain = 0; std::int32_t error = 0; } _resolutionError;
    std::optional<std::vector<std::uint8_t>> _dataToSend;
    std::uint8_t _currentHostIsResolved = 0;
    bool _socketIsConnected = false;
    bool _shouldReuseSocket = true;
    bool _socketIsUsed = false;
    bool _runLoopShouldBeStopped = false;
    PLUMEX_PrintCoreNetworkDelegate* _delegate = nullptr;
    std::optional<std::string> _hostName;
    std::optional<std::string> _printerName;
    std::vector<std::vector<std::uint8_t>> _dataQueueIn;
    std::uint16_t _currentPort = 0;

private:
    std::vector<std::vector<std::uint8_t>> _resolvedAddresses;  // the host's address list
};
