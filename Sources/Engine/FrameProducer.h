// Holds the phone's current picture and re-renders it only when the model's version moved on (the
// dirty flag); channels copy from it into their rings. Rendering is lazy: nothing is drawn while
// no channel asks for a frame. Io thread only.
#pragma once

#include "Engine/CairoText.h"
#include "Engine/LatencyStats.h"
#include "Engine/PhoneModel.h"
#include "Engine/PhoneRenderer.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace Engine {

struct FrameView {
    const uint8_t* pixels = nullptr; // BGRA, premultiplied (opaque in practice)
    int width = 0;
    int height = 0;
    size_t bytesPerRow = 0;
    uint64_t version = 0; // the PhoneModel version this picture shows
};

class FrameProducer {
public:
    explicit FrameProducer(const PhoneModel& model);

    // The current picture, rendered first if the model changed since the last render.
    FrameView current();
    // The current picture as a PNG file's bytes.
    std::string png();

    // The picture's size, known without rendering: the layout's, turned on its side while the
    // phone is in landscape.
    int width() const { return model_.isLandscape() ? model_.layout().height() : model_.layout().width(); }
    int height() const { return model_.isLandscape() ? model_.layout().width() : model_.layout().height(); }
    uint64_t renderCount() const { return renderCount_; }
    nlohmann::json statsJson() const;

private:
    void warmUp();

    const PhoneModel& model_;
    PhoneRenderer renderer_;
    CairoSurface surface_;          // portrait
    CairoSurface landscapeSurface_; // made on the first landscape frame
    cairo_surface_t* drawn_ = nullptr; // the surface holding the current picture
    uint64_t renderedVersion_ = 0;
    uint64_t renderCount_ = 0;
    double lastRenderMs_ = 0;
    LatencyStats renderTimes_{128};
};

} // namespace Engine
