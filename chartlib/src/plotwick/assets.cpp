// Decodes the embedded fonts and pictures of a scale once, on first use,
// into the raster heap; they live until RasterFree.
#include "plotwick/assets.h"

#include "plotwick/raster.h"
#include "plotwick/raster_state.h"
#include "plotwick/scale.h"

namespace plotwick {

const ChartAssets& RasterAssetsAt(RasterState& raster, double ratio) {
    const int i = AssetScaleIndex(ratio);
    if (!raster.assetsLoaded[i]) {
        const assets::ScaleBlobs blobs = assets::BlobsAt(i);
        ChartAssets& a = raster.assets[i];
        a.smallFont = FontLoad(raster, blobs.smallFont);
        a.largeFont = FontLoad(raster, blobs.largeFont);
        a.caption = ImageDecode(raster, blobs.caption);
        a.sheet = ImageDecode(raster, blobs.sheet);
        a.scale = kAssetScales[i];
        raster.assetsLoaded[i] = true;
    }
    return raster.assets[i];
}

const ChartAssets& RasterAssets(RasterState& raster) { return RasterAssetsAt(raster, 1.0); }

}  // namespace plotwick
