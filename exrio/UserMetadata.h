// The user's own header attributes (a studio's shot, sequence, version...):
// rows of key, type and value, checked before they are taken and written
// into every OpenEXR file the module writes, with naming tokens in their
// values.
#ifndef RAVELCAST_EXRIO_USERMETADATA_H
#define RAVELCAST_EXRIO_USERMETADATA_H

#include <string>
#include <vector>

#include <ImfHeader.h>

#include "exrio/RenderFacts.h"

namespace ravelcast {

enum UserMetadataType : int { kUserText = 0, kUserInteger = 1, kUserFloat = 2 };
constexpr int kUserMetadataTypeCount = 3;

// "Text", "Integer", "Float"; "unknown" outside them.
const char *userMetadataTypeName(int type);

struct UserMetadataRow {
    std::string key;
    int type = kUserText;
    std::string value;
    bool operator==(const UserMetadataRow &o) const
    {
        return key == o.key && type == o.type && value == o.value;
    }
};

// What a value's %-tokens stand for when a file is written.
struct MetadataTokens {
    std::string scene;  // the scene's name without its extension
    std::string camera; // the render camera's name
    std::string eye;    // "L" or "R" for a stereo camera, else empty
    std::string frame;  // the frame number
    std::string layer;  // the buffer's layer in a separate image, "Base" in the layered file
    std::string user, machine;
};

// The tokens of a frame: the scene's file name (its extension is left
// out), the render camera and its eye, the frame, the facts' owner and
// machine; the layer "Base".
MetadataTokens metadataTokens(const std::string &sceneName, const std::string &camera, bool stereo,
                              bool rightEye, int frame, const RenderFacts &facts);
// The same from the host's scene, camera and time now, for the saver.
MetadataTokens hostMetadataTokens(const RenderFacts &facts);

// The tokens with example values, for checking a value as it is typed.
MetadataTokens exampleMetadataTokens();

// %scene%, %camera%, %eye%, %frame%, %layer% (or %buffer%), %user%,
// %machine% and %dot% replaced, case-insensitively; any other %word% and a
// lone % stay as written.
std::string expandMetadataTokens(const std::string &text, const MetadataTokens &tokens);

// Whether the module writes an attribute of that name itself.
bool reservedAttributeName(const std::string &name);

// "Metadata row 2 (shot)".
std::string metadataRowName(const std::vector<UserMetadataRow> &rows, std::size_t index);

// Why the row at index (of rows) cannot be written; empty when it can. Its
// value is read as its type after the tokens are replaced. A key an earlier
// row holds is refused too (any other row's, againstAll, as a row is
// edited).
std::string userMetadataProblem(const std::vector<UserMetadataRow> &rows, std::size_t index,
                                const MetadataTokens &tokens, bool againstAll = false);
// The problem after the row's name: "Metadata row 2 (shot): ...".
std::string userMetadataRefusal(const std::vector<UserMetadataRow> &rows, std::size_t index,
                                const MetadataTokens &tokens);

// Adds every row that can be written to the header, tokens replaced; the
// refusals of the others, one line each. A row never replaces an attribute
// the header already holds.
std::vector<std::string> applyUserMetadata(Imf::Header &header,
                                           const std::vector<UserMetadataRow> &rows,
                                           const MetadataTokens &tokens);

// The rows the scene's image filter writes, for the module's image saver:
// the filter publishes them as it renders and withdraws them when it goes.
void publishUserMetadata(const void *owner, const std::vector<UserMetadataRow> &rows);
void withdrawUserMetadata(const void *owner);
std::vector<UserMetadataRow> publishedUserMetadata();

} // namespace ravelcast

#endif
