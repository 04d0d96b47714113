#include "engine/noise_model.h"

#include "platform/big_buffers.h"

namespace engine {

void ModelNoise(Image& image, const SkyStats& sky) {
    platform::ResizeFast(image.noise, image.pixels.size());
    const double pixelNoise = PixelNoise(image.pixels, image.width, sky);
    const double var0 = pixelNoise * pixelNoise, g = image.gain > 0 ? image.gain : 1;
    PhotonNoise(image.pixels, image.noise, var0, sky.level, g);
}

} // namespace engine
