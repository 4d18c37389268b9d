// The service families of the development host beyond its core. Each
// family is one object that offers its services in its constructor and
// withdraws them in its destructor; tests reach a family by its type.
#ifndef DEVHOST_EXTENSIONS_H
#define DEVHOST_EXTENSIONS_H

#include <memory>
#include <stdexcept>
#include <typeinfo>
#include <vector>

namespace devhost {

class Host;

class ServiceFamily {
public:
    virtual ~ServiceFamily() = default;
};

class Extensions {
public:
    explicit Extensions(Host &host);
    ~Extensions();
    Extensions(const Extensions &) = delete;
    Extensions &operator=(const Extensions &) = delete;

    template <class T> T &get()
    {
        for (auto &f : families_)
            if (auto *t = dynamic_cast<T *>(f.get()))
                return *t;
        throw std::logic_error(std::string("no service family ") + typeid(T).name());
    }

private:
    std::vector<std::unique_ptr<ServiceFamily>> families_;
};

} // namespace devhost

#endif
