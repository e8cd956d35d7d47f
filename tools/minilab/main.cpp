// tessaron-minilab: an emulated JRX minilab on loopback.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "CommandLine.h"
#include "Config.h"
#include "Lab.h"
#include "Log.h"
#include "OrderStore.h"
#include "Previews.h"
#include "Server.h"

using namespace tessaron::minilab;

namespace {

std::unique_ptr<OrderStore> openStore(const CommandLine& cl, const Config& cfg, const LabConfig& lab, bool& ok) {
    if (!cl.store) return nullptr;
    std::string error;
    std::string path = *cl.store;
    if (cfg.labs.size() > 1) {
        auto top = OrderStore::open(path, error);   // makes sure the parent exists
        if (!top) {
            logError("store: %s", error.c_str());
            ok = false;
            return nullptr;
        }
        path += "/" + lab.address;
    }
    auto store = OrderStore::open(path, error);
    if (!store) {
        logError("store: %s", error.c_str());
        ok = false;
    }
    return store;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto cl = parseCommandLine(argc, argv, error);
    if (!cl) {
        fprintf(stderr, "tessaron-minilab: %s\n%s", error.c_str(), helpText());
        return 2;
    }
    if (cl->help) {
        fputs(helpText(), stdout);
        return 0;
    }
    if (cl->log && !logToFile(*cl->log)) {
        fprintf(stderr, "tessaron-minilab: cannot open the log file %s\n", cl->log->c_str());
        return 1;
    }
    setVerbose(cl->verbose);
    Config cfg;
    if (cl->config) {
        auto loaded = loadConfig(*cl->config, error);
        if (!loaded) {
            logError("configuration: %s", error.c_str());
            fprintf(stderr, "tessaron-minilab: configuration: %s\n", error.c_str());
            return 1;
        }
        cfg = *loaded;
    } else {
        cfg.labs.push_back(defaultLab());
    }
    if (cl->previews) {
        // Frames the lab took are at most its largest image; the default bound otherwise.
        unsigned long long limit = 0;
        for (const auto& lab : cfg.labs) limit = std::max<unsigned long long>(limit, lab.maxImageBytes);
        const int made = makePreviews(*cl->previews, limit, error);
        if (made < 0) {
            fprintf(stderr, "tessaron-minilab: previews: %s\n", error.c_str());
            return 1;
        }
        fprintf(stderr, "tessaron-minilab: %d preview(s) in %s\n", made, cl->previews->c_str());
        return 0;
    }
    if (cl->address) {
        if (cfg.labs.size() != 1) {
            fprintf(stderr, "tessaron-minilab: --address needs a configuration of one lab\n");
            return 1;
        }
        cfg.labs[0].address = *cl->address;
    }
    Server server(ServerOptions{cl->allowNonLoopback});
    for (const auto& lab : cfg.labs) {
        bool ok = true;
        auto store = openStore(*cl, cfg, lab, ok);
        if (!ok || !server.addLab(std::make_unique<Lab>(lab, std::move(store)))) {
            fprintf(stderr, "tessaron-minilab: cannot start the lab on %s (see the log)\n", lab.address.c_str());
            return 1;
        }
    }
    return server.run();
}
