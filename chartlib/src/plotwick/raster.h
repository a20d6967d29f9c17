// The chart library's raster layer: a 32-bit back buffer, the target/source
// selection, origin and clip stack, the drawing primitives, bitmap fonts and
// embedded pictures, the private heap and the diagnostic sink. All of it but
// the sink lives in a RasterState the caller owns and passes to every call.
// Qt-free; the window layer only presents finished pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace plotwick {

// Everything one raster layer holds (raster_state.h): its heap, back buffer,
// selection, clip stack, font and pictures. The chart library keeps one in
// its library context; tests and tools make their own.
struct RasterState;

// ---------------------------------------------------------------- records

// Bitmap flags.
inline constexpr uint32_t kBitmapAlpha = 1u;          // per-pixel alpha: blits blend
inline constexpr uint32_t kBitmapPremultiplied = 2u;  // colours premultiplied by alpha

// One picture (or the back buffer). Pixels are 32-bit words, byte order
// B, G, R, A (a colour constant reads 0xAARRGGBB). Rows are stored
// bottom-up: row y starts at topRow - y * pitch bytes, so `bits` (the lowest
// address) is the bottom row.
struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t* bits = nullptr;    // pixel memory, width * height * 4 bytes
    uint32_t* topRow = nullptr;  // row y = 0
    int32_t pitch = 0;           // bytes per row (width * 4)
    uint32_t flags = 0;          // kBitmapAlpha, kBitmapPremultiplied
    Bitmap* next = nullptr;      // link in the library's list of pictures
};

// Address of row y of a bitmap (no bounds check; primitives clip first).
inline uint32_t* BitmapRow(const Bitmap& b, int32_t y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(b.topRow) -
                                       static_cast<std::ptrdiff_t>(y) * b.pitch);
}

// Bounds-checked pixel read, 0 outside the bitmap. For tests and tools.
uint32_t PixelAt(const Bitmap& b, int32_t x, int32_t y);

// Rectangle with right and bottom exclusive.
struct RasterRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
};

struct RasterPoint {
    int32_t x = 0;
    int32_t y = 0;
};

struct TextExtent {
    int32_t width = 0;
    int32_t height = 0;
};

// A decoded bitmap font: 96 proportional glyphs (characters 32..127) side by
// side in one 8-bit coverage atlas, every glyph lineHeight rows tall. Lives
// in the raster heap until RasterFree.
struct Font {
    int32_t pitch = 0;       // bytes per atlas row
    int32_t lineHeight = 0;  // pixels
    int32_t monochrome = 0;  // nonzero: any nonzero coverage paints full colour
    uint16_t firstColumn[96] = {};
    uint8_t glyphWidth[96] = {};
    const uint8_t* atlas = nullptr;  // pitch * lineHeight bytes, top row first
};

// --------------------------------------------------------- init and paint

// Back buffer size when RasterInit gets 0 (the Qt layer passes the real
// screen size) and the largest it may grow to when a window needs more.
inline constexpr int32_t kDefaultBackBufferWidth = 1920;
inline constexpr int32_t kDefaultBackBufferHeight = 1200;
inline constexpr int32_t kMaxBackBufferSide = 8192;

// Creates the back buffer (0 = default size) and resets target, source,
// origin, clip (whole buffer) and stack. Returns false when the buffer cannot
// be allocated. Calling it again replaces the previous buffer.
bool RasterInit(RasterState& raster, int32_t width, int32_t height);
// Frees every picture, the back buffer and fonts (the whole raster heap).
// Pointers from ImageDecode/FontLoad/BitmapCreate are invalid afterwards.
void RasterFree(RasterState& raster);
bool RasterReady(const RasterState& raster);

// The back buffer record (valid until RasterFree or a growth in PaintBegin).
const Bitmap& BackBuffer(const RasterState& raster);

// The window a paint draws for: which part needs painting and where the
// finished pixels go. The Qt window layer implements it with the widget's
// paint event rect and QPainter::drawImage; tests and plotwick-render with
// plain memory.
struct PresentFrame {
    RasterRect rect;                      // painted rectangle, window client coordinates
    const uint32_t* bottomRow = nullptr;  // pixel (rect.left, rect.bottom - 1): the lowest address
    int32_t pitch = 0;  // bytes between rows; row rect.bottom-1-k at bottomRow + k*pitch bytes
};
// Copies a frame into a top-down buffer (row 0 = rect.top), e.g. the memory
// of a QImage::Format_RGB32 image of rect's size. dstPitch in bytes.
void CopyFrameTopDown(const PresentFrame& frame, uint32_t* dst, int32_t dstPitch);

class PaintWindow {
public:
    virtual ~PaintWindow() = default;
    // The part of the window to paint (invalid or visible part), client coordinates.
    virtual RasterRect ClipBox() const = 0;
    // Receives the finished pixels of the paint rectangle.
    virtual void Present(const PresentFrame& frame) = 0;
};

// Starts a paint: an empty clip box returns false. Otherwise the box
// (limited to the back buffer, which grows up to kMaxBackBufferSide to
// cover it) becomes the paint and clip rectangle, origin (0,0), target and
// source the back buffer, clip stack emptied; returns true.
bool PaintBegin(RasterState& raster, PaintWindow& window);
// Presents the paint rectangle to the window given to PaintBegin.
void PaintEnd(RasterState& raster);

// ------------------------------------------------- target, origin, clip

void SetTarget(RasterState& raster, const Bitmap* picture);  // nullptr = back buffer
void SetSource(RasterState& raster, const Bitmap* picture);  // nullptr = back buffer
const Bitmap& CurrentSource(const RasterState& raster);

inline constexpr int kClipStackDepth = 40;
// Saves origin and clip; origin += (x, y); clip = clip ∩ (origin, w × h).
// Nesting deeper than kClipStackDepth is refused with a diagnostic and makes
// drawing do nothing until the matching PopClip.
void PushClip(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h);
// Restores the last saved origin and clip; an unmatched pop is refused with
// a diagnostic.
void PopClip(RasterState& raster);
// Direct origin/clip control (the clip is in target coordinates).
void SetOrigin(RasterState& raster, int32_t x, int32_t y);
void SetClip(RasterState& raster, const RasterRect& clip);
RasterPoint CurrentOrigin(const RasterState& raster);
RasterRect CurrentClip(const RasterState& raster);
int ClipDepth(const RasterState& raster);

// ------------------------------------------------------------ primitives
// All coordinates are relative to the origin and clipped to the clip
// rectangle and the target. Non-positive sizes draw nothing. Mixed pixels
// (blends, half mixes, weighted pixels, blits with alpha, anti-aliased text)
// get alpha byte 0; opaque stores keep the colour's alpha byte.

void RectFill(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
// alpha <= 0: nothing; > 255: RectFill; 128: (dst>>1 & 0x7F7F7F) + colour/2
// per channel; otherwise per channel (colour*alpha + dst*(256-alpha)) / 256.
void RectBlend(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour,
               int32_t alpha);
void HLine(RasterState& raster, int32_t x, int32_t y, int32_t length, uint32_t colour);
void VLine(RasterState& raster, int32_t x, int32_t y, int32_t length, uint32_t colour);
// Each pixel becomes ((dst & 0xFEFEFE) + (colour & 0xFEFEFE)) >> 1.
void HLineHalf(RasterState& raster, int32_t x, int32_t y, int32_t length, uint32_t colour);
void VLineHalf(RasterState& raster, int32_t x, int32_t y, int32_t length, uint32_t colour);
// weight <= 0: nothing; > 255: store colour; else mix by weight / 256.
void PutPixelWeighted(RasterState& raster, int32_t x, int32_t y, uint32_t colour, int32_t weight);
// Anti-aliased line about two pixels wide; the end point is not drawn.
void LineAA(RasterState& raster, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// Copies the w × h block at (srcX, srcY) of the source (source coordinates
// are absolute) to (x, y), blending by the source's flags.
void Blit(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX, int32_t srcY);
// Blit from a picture, keeping the current source. nullptr draws nothing.
void BlitFrom(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX, int32_t srcY,
              const Bitmap* picture);
// Fills (x, y, w, h) with repeats of the tileW × tileH block at (srcX, srcY),
// the first tile at (-offX, -offY) relative to (x, y).
void BlitTiled(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX, int32_t srcY,
               int32_t tileW, int32_t tileH, int32_t offX, int32_t offY);

// ------------------------------------------------------------------ text

void SetFont(RasterState& raster, const Font* font);
// Draws text in the current font; '\n' starts a new line at x, one line
// height lower; bytes outside 32..127 are skipped.
void TextDraw(RasterState& raster, int32_t x, int32_t y, const char* text, uint32_t colour);
// Width: the widest line's sum of (glyph width + 1); height: line height ×
// lines. Without a font or text: 0 × 0.
TextExtent TextSize(const RasterState& raster, const char* text);
TextExtent TextSizeWith(const Font* font, const char* text);

// ------------------------------------------------------ fonts, pictures

// Decodes a "TFDS" font blob into the raster heap. A wrong magic or any
// damaged length, offset or glyph table returns nullptr.
const Font* FontLoad(RasterState& raster, std::span<const uint8_t> blob);
// Decodes a picture blob (RGB565, optional alpha plane) into a new picture
// in the library's list; nullptr (with a diagnostic) for a damaged blob.
Bitmap* ImageDecode(RasterState& raster, std::span<const uint8_t> blob);
// A new zero-filled picture in the library's list (flags as given).
Bitmap* BitmapCreate(RasterState& raster, int32_t width, int32_t height, uint32_t flags);
// Number of pictures in the library's list.
int PictureCount(const RasterState& raster);

// The library's embedded fonts and pictures, decoded on first call and kept
// until RasterFree. Members are nullptr if an embedded blob failed to decode.
// Sizes are those at scale 1; at another scale every size is scaled.
struct ChartAssets {
    const Font* smallFont = nullptr;  // line height 11, monochrome
    const Font* largeFont = nullptr;  // line height 19, anti-aliased
    const Bitmap* caption = nullptr;  // 30 × 176: Amps and Volts captions
    const Bitmap* sheet = nullptr;    // 90 × 192: tags, call-out, strip parts
    double scale = 1.0;               // the device pixel scale they are made for
};
// The assets at scale 1.
const ChartAssets& RasterAssets(RasterState& raster);
// The assets of the generated scale nearest to a device pixel ratio
// (ChartScaleFor), each scale decoded on its first use.
const ChartAssets& RasterAssetsAt(RasterState& raster, double ratio);

// ------------------------------------------------------------------ heap

// Live blocks in the raster heap (pictures, fonts, decoder tables).
int64_t RasterHeapLiveBlocks(const RasterState& raster);

// ---------------------------------------------------------- diagnostics

// Receives the library's fault texts. The default writes "plotwick: text"
// lines to standard error. Passing an empty function restores the default.
using DiagnosticSink = std::function<void(std::string_view text)>;
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);

// One formatter argument: an integer, a double or a string.
struct DebugArg {
    enum class Kind { Int, Real, Text } kind;
    int64_t i = 0;
    double d = 0.0;
    const char* s = nullptr;
    DebugArg(int v) : kind(Kind::Int), i(v) {}
    DebugArg(long v) : kind(Kind::Int), i(v) {}
    DebugArg(long long v) : kind(Kind::Int), i(v) {}
    DebugArg(unsigned v) : kind(Kind::Int), i(v) {}
    DebugArg(unsigned long v) : kind(Kind::Int), i(static_cast<int64_t>(v)) {}
    DebugArg(unsigned long long v) : kind(Kind::Int), i(static_cast<int64_t>(v)) {}
    DebugArg(double v) : kind(Kind::Real), d(v) {}
    DebugArg(const char* v) : kind(Kind::Text), s(v) {}
};

inline constexpr std::size_t kDebugTextMax = 999;  // characters per formatted text
// Formats: %d signed decimal, %s text, %% percent, %X 8 upper-case hex
// digits, %F 6 decimals, %f 6 decimals without trailing zeros (one kept),
// %r decimal with English ordinal suffix. Unknown conversions and missing
// or mismatched arguments produce nothing. Result bounded to kDebugTextMax.
std::string DebugFormat(std::string_view format, std::initializer_list<DebugArg> args);

void DebugPrint(std::string_view text);
void DebugPrintString(std::string_view name, std::string_view text);  // name " = " text
template <class... Args>
void DebugPrintf(std::string_view format, const Args&... args) {
    DebugPrint(DebugFormat(format, {DebugArg(args)...}));
}

}  // namespace plotwick
