// Renderer counters and buffers that outlive a frame, and their reset.
#include "render/local.h"
#include "render/render.h"

int32_t framesDrawn = 0;
int32_t frameLimit = 0;
bool keepLastFrame = false;
KeptFrame keptFrame;
std::function<void(int32_t, int32_t, const std::vector<uint8_t>&)> frameKeptObserver;
FrameCounts frameCounts;
std::function<void(double milliseconds)> frameTimeObserver;
std::vector<uint32_t> grownSelectBuffer;
TriangleBatch visibleBatch;
TriangleBatch stencilBatch;
TriangleBatch hittableBatch;
TriangleBatch coveringBatch;
FrameShortcuts frameShortcuts;
std::vector<std::string> overlayLines;
std::function<void()> betweenFrames;

namespace {
// 16M values (64 MB): more hits than a frame of a 250-cell world can name many times over.
constexpr size_t selectBufferCeiling = size_t(1) << 24;
}  // namespace

uint32_t* activeSelectBuffer() {
    return grownSelectBuffer.empty() ? selectBuffer : grownSelectBuffer.data();
}

int64_t activeSelectCapacity() {
    return grownSelectBuffer.empty() ? selectBufferSize : int64_t(grownSelectBuffer.size());
}

bool growSelectBuffer() {
    const size_t now = size_t(activeSelectCapacity());
    if (now >= selectBufferCeiling) return false;
    grownSelectBuffer.assign(now * 2, 0);
    return true;
}

void resetRenderer() {
    currentCell = -1;
    carriedCell = -1;
    for (int32_t& cell : visitedCells) cell = 0;
    visitedCount = 0;
    viewedCellCount = 0;
    for (StencilPortal& entry : stencilPortalList) entry = StencilPortal{};
    stencilPortalCount = 0;
    viewRightX = viewLeftX = viewRightZ = viewLeftZ = 0;
    framesDrawn = 0;
    frameLimit = 0;
    keepLastFrame = false;
    frameKeptObserver = nullptr;
    keptFrame = KeptFrame{};
    grownSelectBuffer.clear();
    grownSelectBuffer.shrink_to_fit();
    visibleBatch = TriangleBatch{};
    stencilBatch = TriangleBatch{};
    hittableBatch = TriangleBatch{};
    coveringBatch = TriangleBatch{};
    forgetWalk();
    frameCounts = FrameCounts{};
    frameTimeObserver = nullptr;
    frameShortcuts = FrameShortcuts{};
    overlayLines.clear();
    betweenFrames = nullptr;
}
