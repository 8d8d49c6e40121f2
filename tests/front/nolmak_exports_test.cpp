// The shared library's dynamic symbol table holds the ten exported functions and the
// methods of the exported class, and nothing else of ours.
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#ifndef NOLMAK_LIBRARY
#error "NOLMAK_LIBRARY must name the shared library"
#endif

namespace {

std::string demangled(const std::string &name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> text(abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status),
                                                 std::free);
    return status == 0 && text ? std::string(text.get()) : name;
}

// Defined dynamic symbols, without their version suffix.
std::set<std::string> definedSymbols(const std::string &library)
{
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only " + library;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return names;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream in(line);
        std::string address, type, name;
        // "A" lines name the version node itself, not a symbol.
        if (!(in >> address >> type >> name) || type == "A")
            continue;
        names.insert(name.substr(0, name.find('@')));
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return names;
}

TEST(Exports, TenFunctionsAndTheClassMethodsOnly)
{
    const std::set<std::string> symbols = definedSymbols(NOLMAK_LIBRARY);
    ASSERT_FALSE(symbols.empty());

    const std::set<std::string> functions = {
        "nolmak_create",        "nolmak_destroy",    "nolmak_set_local_ip",       "nolmak_set_local_ip_by_iface",
        "nolmak_discover_all_devices", "nolmak_last_found_devices", "nolmak_get_info", "nolmak_set_network_params",
        "nolmak_send_reboot",   "nolmak_update_gpg"};
    const std::string classPrefix = "Wendaro::Nolmak::Nolmak::";
    std::set<std::string> methods;
    for (const std::string &symbol : symbols) {
        if (functions.count(symbol) != 0)
            continue;
        const std::string name = demangled(symbol);
        ASSERT_EQ(name.rfind(classPrefix, 0), 0u) << "exported: " << name;
        const std::string method = name.substr(classPrefix.size());
        methods.insert(method.substr(0, method.find_first_of("([")));
    }
    for (const std::string &function : functions)
        EXPECT_EQ(symbols.count(function), 1u) << function;
    for (const char *method : {"Nolmak", "~Nolmak", "openConn", "closeConn", "sendReboot", "getInfo",
                               "setNetworkParams", "setLocalIP", "discoverAllDevices", "updateGPG",
                               "getLocalIPAddresses", "setLocalIPByIface", "foundDevices"})
        EXPECT_EQ(methods.count(method), 1u) << method;
}

} // namespace
