// Facts about the render that every written OpenEXR file carries in its
// header, stamped from gathered plain values (RenderFacts) without the
// host, and their conversion from and to the host's image-metadata items.
#ifndef RAVELCAST_EXRIO_RENDERMETADATA_H
#define RAVELCAST_EXRIO_RENDERMETADATA_H

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <ImfHeader.h>

#include "exrio/CameraMatrices.h"
#include "exrio/RenderFacts.h"

namespace ravelcast {

// Host image-metadata item tags that the record understands or produces.
enum MetadataTag : int {
    kTagXDensity = 3,
    kTagFramesPerSecond = 4,
    kTagWhiteLuminance = 6,
    kTagExposureTime = 11,
    kTagAperture = 12,
    kTagIsoSpeed = 14,
    kTagCaptureDate = 16,
    kTagFocalLength = 23,
    kTagRenderFact = 24,
    kTagComments = 25,
    kTagFocus = 33,
    kTagMake = 50,
    kTagModel = 51,
    kTagSoftware = 52,
};

// One host image-metadata item.
struct HostMetadataItem {
    int tag = 0;
    std::string text;
    bool operator==(const HostMetadataItem &o) const { return tag == o.tag && text == o.text; }
};

// What the writer's settings choose about the facts stamped: the camera
// matrices' world and the colour space declared.
struct HeaderChoices {
    CameraMatrixConvention cameraMatrices = kHostWorldMatrices;
    int colourSpace = kLinearRec709;
};

// The collected header attributes of one file being written.
class RenderMetadata {
public:
    // The library's default header, no values, the render-fact table loaded.
    RenderMetadata();
    // Starts from a copy of an existing header instead of the default one.
    explicit RenderMetadata(const Imf::Header &header);

    // Applies one host item (tag 3 to 52). Answers 1 when the tag was
    // understood, 0 when it was ignored. Library failures propagate.
    int setItem(const std::string &text, int tag);

    // A tag-24 text: exactly "NewTek" sets "Maker"; otherwise "<id> <value>"
    // stores the value under the id and, for an id of the render-fact table,
    // sets that string attribute. A text without a leading id sets nothing.
    void setIdValue(const std::string &text);

    // Sets the header's render attributes from the facts: owner and
    // machine, scene and build, capture date and zone, frame rate and the
    // scene's render facts, the product's make and model, and the render
    // camera's optics; then, as chosen, the camera's matrices, film
    // aperture and stereo view, and the colour space's chromaticities. A
    // fact the gathering did not find is left out; every other attribute of
    // the header stays.
    void stamp(const RenderFacts &facts, const HeaderChoices &choices = {});
    // stamp(gatherRenderFacts(now)), at the current time without now.
    void addRenderInfo();
    void addRenderInfo(std::time_t now);

    // The header attributes as host items (the loader's direction).
    std::vector<HostMetadataItem> hostItems() const;

    const Imf::Header &header() const { return header_; }
    Imf::Header &header() { return header_; }
    // The text last received for each render-fact id.
    const std::map<int, std::string> &valuesById() const { return valuesById_; }
    // The render-fact table: host id to attribute name.
    const std::map<int, std::string> &namesById() const { return namesById_; }

private:
    void stampScene(const hostkit::SceneFacts &scene);
    void stampCamera(const hostkit::CameraOptics &camera, double framesPerSecond);
    void stampPlacement(const hostkit::CameraPlacement &camera, const hostkit::SceneFacts &scene,
                        CameraMatrixConvention convention);

    Imf::Header header_;
    std::map<int, std::string> valuesById_;
    std::map<int, std::string> namesById_;
};

// The render-fact table (29 ids from 0xC000), host id to attribute name.
const std::map<int, std::string> &renderFactNames();

// Converts a header's attributes into host items: the known attributes in a
// fixed order, then each render fact present as tag 24 "<id> <text>".
// Attributes of another type than expected are not passed on.
std::vector<HostMetadataItem> hostMetadataItems(const Imf::Header &header);

// The per-file step of the filter's writer: stamps the facts over a copy
// of the header and copies every attribute back, then sets "comments" when
// comment is not empty.
void stampFileMetadata(Imf::Header &header, const RenderFacts &facts, const std::string &comment,
                       const HeaderChoices &choices = {});

// Antialiasing level as text: "none", "Enhanced Low".."Enhanced Extreme",
// "PLD n" from level 100, otherwise "unknown".
std::string antialiasingText(int level);

// Reconstruction filter name from the scene's filter field (index in bits
// 1-5); "unknown" past the list.
std::string filterName(int filterField);

// "1 V9.6 B:2345": 1 in Layout, 0 elsewhere, then version and build.
std::string modelText(unsigned int systemId, unsigned int productInfo);

// The shortest decimal text that reads back as exactly the same value
// ("16777216", "0.1", "1e-30"), whatever the user's locale.
std::string shortestText(float value);
std::string shortestText(double value);

// The decimal number at the start of text (after leading blanks), read
// whatever the user's locale; 0 when there is none.
double leadingNumber(const std::string &text);

} // namespace ravelcast

#endif
