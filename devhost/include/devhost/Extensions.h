// The service families of the development host beyond its core.
#ifndef DEVHOST_EXTENSIONS_H
#define DEVHOST_EXTENSIONS_H

namespace devhost {

class Host;

class Extensions {
public:
    explicit Extensions(Host &host);
    ~Extensions();
    Extensions(const Extensions &) = delete;
    Extensions &operator=(const Extensions &) = delete;

private:
    Host &host_;
};

} // namespace devhost

#endif
