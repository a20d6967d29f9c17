// Decodes the embedded fonts and pictures once, on first use, into the
// raster heap; they live until RasterFree.
#include "core/assets.h"

#include "core/raster.h"
#include "core/raster_state.h"

namespace plotwick {

const ChartAssets& RasterAssets() {
    RasterState& st = State();
    if (!st.assetsLoaded) {
        st.assets.smallFont = FontLoad(assets::SmallFontBlob());
        st.assets.largeFont = FontLoad(assets::LargeFontBlob());
        st.assets.caption = ImageDecode(assets::CaptionPictureBlob());
        st.assets.sheet = ImageDecode(assets::SheetPictureBlob());
        st.assetsLoaded = true;
    }
    return st.assets;
}

}  // namespace plotwick
