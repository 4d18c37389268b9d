// The fixed catalogue of exportable render buffers, and which rows a host
// version offers.
#ifndef RAVELCAST_EXPORT_BUFFERCATALOGUE_H
#define RAVELCAST_EXPORT_BUFFERCATALOGUE_H

#include <vector>

#include "export/OpenEXRBuffer.h"

namespace ravelcast {

// The host version a row needs.
enum class Presence { Always, From96, From83, Build2007, Build2008, Build2009 };

struct CatalogueRow {
    OpenEXRBuffer::Definition definition;
    Presence presence;
    bool depth; // made as a DepthBuffer
};

// All rows in catalogue order.
const std::vector<CatalogueRow> &catalogue();

// Whether a host with this product-info word offers the row.
bool presentIn(Presence presence, unsigned int productInfo);

// Position of "Depth" among the rows this host offers.
int depthPosition(unsigned int productInfo);

} // namespace ravelcast

#endif
