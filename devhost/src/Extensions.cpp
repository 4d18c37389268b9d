#include "devhost/Extensions.h"

#include "devhost/Envelopes.h"
#include "devhost/GlobalMemory.h"
#include "devhost/Host.h"
#include "devhost/ImageUtility.h"
#include "devhost/Panels.h"
#include "devhost/Previews.h"

namespace devhost {

Extensions::Extensions(Host &host)
{
    // One line per family, in the order they are made.
    families_.push_back(std::make_unique<Envelopes>(host));
    families_.push_back(std::make_unique<GlobalMemory>(host));
    families_.push_back(std::make_unique<ImageUtility>(host));
    families_.push_back(std::make_unique<Panels>(host));
    families_.push_back(std::make_unique<Previews>(host));
}

Extensions::~Extensions()
{
    // Families go in reverse order of making.
    while (!families_.empty())
        families_.pop_back();
}

} // namespace devhost
