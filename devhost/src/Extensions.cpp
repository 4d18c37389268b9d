#include "devhost/Extensions.h"

#include "devhost/Host.h"

namespace devhost {

Extensions::Extensions(Host &host) : host_(host) {}

Extensions::~Extensions() = default;

} // namespace devhost
