// "Global Memory": named memory blocks shared by all servers of the process,
// kept until the host goes.
#ifndef DEVHOST_GLOBALMEMORY_H
#define DEVHOST_GLOBALMEMORY_H

#include <memory>
#include <string>
#include <vector>

#include <lwsdk/services.h>

#include "devhost/Extensions.h"

namespace devhost {

class Host;

class GlobalMemory : public ServiceFamily {
public:
    explicit GlobalMemory(Host &host);
    ~GlobalMemory() override;
    GlobalMemory(const GlobalMemory &) = delete;
    GlobalMemory &operator=(const GlobalMemory &) = delete;

    const LWGlobalPool *table() const { return &table_; }

    // A zero-filled block. Creating a name that exists answers the existing
    // block when it is at least as large, else null (a smaller block would
    // be written past its end); a null name or a negative size gives null.
    LWMemChunk create(const char *name, int size);
    LWMemChunk find(const char *name) const;
    // Blocks in the order they were made; null past the last or for a chunk
    // that is not one of ours.
    LWMemChunk first() const;
    LWMemChunk next(LWMemChunk chunk) const;
    const char *id(LWMemChunk chunk) const;
    int size(LWMemChunk chunk) const;
    int count() const { return static_cast<int>(blocks_.size()); }

private:
    struct Block {
        std::string name;
        int size;
        std::unique_ptr<unsigned char[]> bytes;
    };
    int indexOf(LWMemChunk chunk) const;

    Host &host_;
    LWGlobalPool table_{};
    std::vector<std::unique_ptr<Block>> blocks_; // stable names and bytes
};

} // namespace devhost

#endif
