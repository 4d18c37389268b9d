#include "devhost/Extensions.h"

#include "devhost/Host.h"

namespace devhost {

Extensions::Extensions(Host &host)
{
    (void)host;
    // One line per family, in the order they are made.
}

Extensions::~Extensions()
{
    // Families go in reverse order of making.
    while (!families_.empty())
        families_.pop_back();
}

} // namespace devhost
