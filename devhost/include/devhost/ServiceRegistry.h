// The development host's named services and how often each was asked for.
#ifndef DEVHOST_SERVICEREGISTRY_H
#define DEVHOST_SERVICEREGISTRY_H

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace devhost {

struct ServiceUse {
    int acquires = 0;
    int releases = 0;
    int transients = 0;
    int misses = 0; // asked for while not offered
};

class ServiceRegistry {
public:
    // A service is a table pointer, or a number packed into the pointer.
    using Provider = std::function<void *()>;

    void offer(const std::string &name, Provider provider);
    void offerTable(const std::string &name, void *table);
    void withdraw(const std::string &name);
    bool offers(const std::string &name) const;

    // The global function's answer for name and use code; counts the use.
    void *lookup(const char *name, int useCode);

    const std::map<std::string, ServiceUse> &uses() const { return uses_; }
    ServiceUse use(const std::string &name) const;
    // Services acquired more often than released.
    std::vector<std::string> unreleased() const;
    void resetCounts() { uses_.clear(); }

private:
    std::map<std::string, Provider> providers_;
    std::map<std::string, ServiceUse> uses_;
};

} // namespace devhost

#endif
