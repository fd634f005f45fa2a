#include "ExportTextures.h"

#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <utility>

#include "PngFile.h"
#include "TextureData.h"
#include "TextureLookup.h"

namespace vistrel {

using exporting::TTexturePicture;

struct TExportTextureCache::TState {
    std::mutex mutex;
    TFolderListings listings;  // of the whole batch
    // Where a name was found (empty: not found) under one list of roots.
    std::map<std::string, std::string> found;
    std::map<std::string, std::shared_future<std::shared_ptr<const TTexturePicture>>> pictures;
    // The finished pictures, oldest first, with their sizes.
    std::deque<std::pair<std::string, std::size_t>> finished;
    std::size_t bytes = 0;
    std::size_t budget = 0;
};

// Lookups are small; past this many the oldest are simply forgotten.
constexpr std::size_t kMaxRememberedLookups = 100000;

TExportTextureCache::TExportTextureCache(std::size_t budgetBytes) : state_(std::make_unique<TState>()) {
    state_->budget = budgetBytes;
}

TExportTextureCache::~TExportTextureCache() = default;

namespace exporting {

namespace {

std::shared_ptr<const TTexturePicture> MakePicture(const std::string& file) {
    auto picture = std::make_shared<TTexturePicture>();
    try {
        std::string error;
        const std::optional<TextureImage> image = DecodeTextureFile(file, &error);
        if (!image) {
            picture->Problem = error;
            return picture;
        }
        for (std::size_t k = 3; k < image->bgra.size() && !picture->Alpha; k += 4)
            picture->Alpha = image->bgra[k] != 255;
        if (!EncodePngFromBgra(image->width, image->height, image->bgra.data(), picture->Png, error))
            picture->Problem = "not encoded: " + error;
    } catch (const std::exception& e) {  // out of memory, a thread that could not start
        picture->Png.clear();
        picture->Problem = e.what();
    }
    return picture;
}

std::string LookupKey(const std::vector<std::string>& roots, const std::string& name) {
    std::string key;
    for (const std::string& root : roots) key += root + '\n';
    return key + '\0' + name;
}

std::string Find(TExportTextureCache* cache, TFolderListings* listings, const std::vector<std::string>& roots,
                 const std::string& name) {
    if (!cache) return FindTextureFile(roots, name, listings).value_or(std::string());
    TExportTextureCache::TState& state = cache->State();
    const std::string key = LookupKey(roots, name);
    {
        const std::lock_guard lock(state.mutex);
        if (const auto it = state.found.find(key); it != state.found.end()) return it->second;
    }
    std::string file = FindTextureFile(roots, name, &state.listings).value_or(std::string());
    const std::lock_guard lock(state.mutex);
    if (state.found.size() >= kMaxRememberedLookups) state.found.clear();
    state.found.emplace(key, file);
    return file;
}

// The picture of a file, made once per cache: a second asker waits for the
// first one's.
std::shared_ptr<const TTexturePicture> Picture(TExportTextureCache* cache, const std::string& file) {
    if (!cache) return MakePicture(file);
    TExportTextureCache::TState& state = cache->State();
    const std::string& key = file;
    std::promise<std::shared_ptr<const TTexturePicture>> promise;
    {
        std::unique_lock lock(state.mutex);
        if (const auto it = state.pictures.find(key); it != state.pictures.end()) {
            auto pending = it->second;
            lock.unlock();
            return pending.get();
        }
        state.pictures.emplace(key, promise.get_future().share());
    }
    std::shared_ptr<const TTexturePicture> made = MakePicture(file);
    promise.set_value(made);
    const std::lock_guard lock(state.mutex);
    state.finished.emplace_back(key, made->Png.size());
    state.bytes += made->Png.size();
    while (state.bytes > state.budget && !state.finished.empty()) {
        state.bytes -= state.finished.front().second;
        state.pictures.erase(state.finished.front().first);
        state.finished.pop_front();
    }
    return made;
}

}  // namespace

TTextureJobs::TTextureJobs(std::vector<std::string> roots, std::vector<std::string> names, TExportTextureCache* cache)
    : roots_(std::move(roots)), cache_(cache) {
    if (!cache_) listings_ = std::make_unique<TFolderListings>();
    out_.resize(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) out_[k].Name = std::move(names[k]);
    // A few threads, not one per name: a LOD may name a hundred textures,
    // and every decoded picture is held until it is encoded.
    const std::size_t cores = std::max(2u, std::thread::hardware_concurrency());
    const std::size_t count = std::min(cores, out_.size());
    try {
        for (std::size_t k = 0; k < count; ++k) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        if (threads_.empty()) Work();  // no thread to be had: the work is done here
    }
}

TTextureJobs::~TTextureJobs() { Join(); }

void TTextureJobs::Join() {
    for (std::thread& t : threads_)
        if (t.joinable()) t.join();
}

void TTextureJobs::Work() {
    for (std::size_t k; (k = next_.fetch_add(1)) < out_.size();) {
        TTextureOut& out = out_[k];
        if (out.Name.empty()) continue;
        out.Outside = OutsideTextureRoot(out.Name);
        if (out.Outside) continue;
        try {
            out.File = Find(cache_, listings_.get(), roots_, out.Name);
            if (!out.File.empty()) out.Picture = Picture(cache_, out.File);
        } catch (const std::exception& e) {  // nothing leaves a thread
            auto failed = std::make_shared<TTexturePicture>();
            failed->Problem = e.what();
            out.Picture = std::move(failed);
        }
    }
}

std::vector<TTextureOut> TTextureJobs::Take() {
    Join();
    return std::move(out_);
}

}  // namespace exporting
}  // namespace vistrel
