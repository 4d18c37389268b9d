#include "devhost/GlobalMemory.h"
#include "devhost/CallbackBarrier.h"

#include <cstring>

#include "devhost/Host.h"

namespace devhost {

namespace {
// The table's functions carry no data pointer; one pool serves the process.
GlobalMemory *g_pool = nullptr;

LWMemChunk firstThunk() { return g_pool ? g_pool->first() : nullptr; }
LWMemChunk nextThunk(LWMemChunk c) { return g_pool ? g_pool->next(c) : nullptr; }
const char *idThunk(LWMemChunk c) { return g_pool ? g_pool->id(c) : nullptr; }
int sizeThunk(LWMemChunk c) { return g_pool ? g_pool->size(c) : 0; }
LWMemChunk findThunk(const char *name) { return g_pool ? g_pool->find(name) : nullptr; }
LWMemChunk createThunk(const char *name, int size)
{
    return g_pool ? g_pool->create(name, size) : nullptr;
}
} // namespace

GlobalMemory::GlobalMemory(Host &host) : host_(host)
{
    table_ = {guarded<firstThunk>, guarded<nextThunk>, guarded<idThunk>,
              guarded<sizeThunk>,  guarded<findThunk>, guarded<createThunk>};
    g_pool = this;
    host_.services().offerTable(LWGLOBALPOOL_GLOBAL, &table_);
}

GlobalMemory::~GlobalMemory()
{
    host_.services().withdraw(LWGLOBALPOOL_GLOBAL);
    if (g_pool == this)
        g_pool = nullptr;
}

LWMemChunk GlobalMemory::create(const char *name, int size)
{
    if (!name || size < 0)
        return nullptr;
    if (LWMemChunk existing = find(name))
        return this->size(existing) >= size ? existing : nullptr;
    const std::size_t bytes = static_cast<std::size_t>(size > 0 ? size : 1);
    auto b = std::make_unique<Block>(Block{name, size, std::make_unique<unsigned char[]>(bytes)});
    std::memset(b->bytes.get(), 0, bytes);
    blocks_.push_back(std::move(b));
    return blocks_.back()->bytes.get();
}

LWMemChunk GlobalMemory::find(const char *name) const
{
    if (!name)
        return nullptr;
    for (const auto &b : blocks_)
        if (b->name == name)
            return b->bytes.get();
    return nullptr;
}

int GlobalMemory::indexOf(LWMemChunk chunk) const
{
    if (!chunk)
        return -1;
    for (std::size_t i = 0; i < blocks_.size(); ++i)
        if (blocks_[i]->bytes.get() == chunk)
            return static_cast<int>(i);
    return -1;
}

LWMemChunk GlobalMemory::first() const
{
    return blocks_.empty() ? nullptr : blocks_.front()->bytes.get();
}

LWMemChunk GlobalMemory::next(LWMemChunk chunk) const
{
    const int i = indexOf(chunk);
    if (i < 0 || i + 1 >= static_cast<int>(blocks_.size()))
        return nullptr;
    return blocks_[static_cast<std::size_t>(i) + 1]->bytes.get();
}

const char *GlobalMemory::id(LWMemChunk chunk) const
{
    const int i = indexOf(chunk);
    return i < 0 ? nullptr : blocks_[static_cast<std::size_t>(i)]->name.c_str();
}

int GlobalMemory::size(LWMemChunk chunk) const
{
    const int i = indexOf(chunk);
    return i < 0 ? 0 : blocks_[static_cast<std::size_t>(i)]->size;
}

} // namespace devhost
