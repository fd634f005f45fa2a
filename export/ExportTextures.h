// The texture pictures of an export: each texture name looked up, the file
// decoded by our decoder and encoded as PNG, on a few threads of their own
// while the meshes are built; through the batch's cache when there is one.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ModelExport.h"
#include "TextureLookup.h"

namespace vistrel::exporting {

// A texture file as it goes out.
struct TTexturePicture {
    std::vector<uint8_t> Png;  // empty when it did not decode
    bool Alpha = false;        // some pixel is not opaque
    std::string Problem;       // why it did not decode
};

struct TTextureOut {
    std::string Name;      // as the model names it
    bool Outside = false;  // the name reaches outside the texture root: not looked up
    std::string File;      // where it was found; empty when not
    std::shared_ptr<const TTexturePicture> Picture;

    bool Usable() const { return Picture && !Picture->Png.empty(); }
};

// Starts preparing the textures at once; Take waits for them.
class TTextureJobs {
public:
    TTextureJobs(std::vector<std::string> roots, std::vector<std::string> names, TExportTextureCache* cache);
    ~TTextureJobs();
    TTextureJobs(const TTextureJobs&) = delete;
    TTextureJobs& operator=(const TTextureJobs&) = delete;

    // One per name, in the order given.
    std::vector<TTextureOut> Take();

private:
    void Work();
    void Join();

    std::vector<std::string> roots_;
    std::vector<TTextureOut> out_;
    TExportTextureCache* cache_;
    std::unique_ptr<TFolderListings> listings_;  // this export's own, without a cache
    std::atomic<std::size_t> next_{0};
    std::vector<std::thread> threads_;
};

}  // namespace vistrel::exporting
