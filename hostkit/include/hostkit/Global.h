// The host's global function and the shared holders of its services.
#ifndef HOSTKIT_GLOBAL_H
#define HOSTKIT_GLOBAL_H

#include <lwsdk/module.h>

namespace hostkit {

// The global function of the latest activation; every service lookup goes
// through it. Null before the first activation.
GlobalFunc globalFunction();
void setGlobalFunction(GlobalFunc global);

// Asks the host for a service with the given use code; null without a host.
void *lookupGlobal(const char *name, int useCode);

// One process-wide service table pointer and holder count per table type.
// The first wrapper acquires the service, the last one releases it, so the
// host sees one acquire and one release however many wrappers there are.
// Traits<Table>::name names the service.
template <class Table> struct ServiceName;

template <class Table> class GlobalBase {
public:
    GlobalBase()
    {
        if (holders_ == 0) {
            table_ = static_cast<Table *>(
                lookupGlobal(ServiceName<Table>::value, GFUSE_ACQUIRE));
            if (!table_)
                return;
        }
        ++holders_;
        counted_ = true;
    }
    GlobalBase(const GlobalBase &) : GlobalBase() {}
    GlobalBase &operator=(const GlobalBase &) { return *this; }
    virtual ~GlobalBase()
    {
        if (counted_ && --holders_ == 0) {
            lookupGlobal(ServiceName<Table>::value, GFUSE_RELEASE);
            table_ = nullptr;
        }
    }

    virtual bool available() const { return table_ != nullptr; }
    virtual Table *table() const { return table_; }

    static int holders() { return holders_; }

private:
    static inline Table *table_ = nullptr;
    static inline int holders_ = 0;
    bool counted_ = false;
};

} // namespace hostkit

#endif
