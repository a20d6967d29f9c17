// Decodes the embedded fonts and pictures of a scale once, on first use,
// into the raster heap; they live until RasterFree.
#include "plotwick/assets.h"

#include "plotwick/raster.h"
#include "plotwick/raster_state.h"
#include "plotwick/scale.h"

namespace plotwick {

const ChartAssets& RasterAssetsAt(double ratio) {
    RasterState& st = State();
    const int i = AssetScaleIndex(ratio);
    if (!st.assetsLoaded[i]) {
        const assets::ScaleBlobs blobs = assets::BlobsAt(i);
        ChartAssets& a = st.assets[i];
        a.smallFont = FontLoad(blobs.smallFont);
        a.largeFont = FontLoad(blobs.largeFont);
        a.caption = ImageDecode(blobs.caption);
        a.sheet = ImageDecode(blobs.sheet);
        a.scale = kAssetScales[i];
        st.assetsLoaded[i] = true;
    }
    return st.assets[i];
}

const ChartAssets& RasterAssets() { return RasterAssetsAt(1.0); }

}  // namespace plotwick
