#include "Engine/FrameProducer.h"

#include "Engine/EngineClock.h"

namespace Engine {

FrameProducer::FrameProducer(const PhoneModel& model)
    : model_(model), renderer_(model.layout(), model.catalog()),
      surface_(makeImageSurface(model.layout().width(), model.layout().height())) {
    warmUp();
}

void FrameProducer::warmUp() {
    // Draw every app screen once into the frame, so that the fonts and glyphs of every text style
    // are loaded before the first real frame; otherwise the first tap on an app pays ~10 ms for
    // them. The real picture is drawn on the first current(), since renderedVersion_ stays 0.
    PhoneModel scratch(model_.layout().width(), model_.layout().height(), model_.catalog());
    for (size_t i = 0; i < model_.catalog().apps().size(); ++i) {
        scratch.launch(static_cast<int>(i));
        renderer_.render(scratch, surface_.get());
    }
}

FrameView FrameProducer::current() {
    if (renderedVersion_ != model_.version() || drawn_ == nullptr) {
        const uint64_t start = monotonicRawNs();
        if (model_.isLandscape()) {
            if (!landscapeSurface_) {
                landscapeSurface_ = makeImageSurface(width(), height());
            }
            drawn_ = landscapeSurface_.get();
        } else {
            drawn_ = surface_.get();
        }
        renderer_.render(model_, drawn_);
        renderedVersion_ = model_.version();
        ++renderCount_;
        lastRenderMs_ = static_cast<double>(monotonicRawNs() - start) / 1e6;
        renderTimes_.add(lastRenderMs_);
    }
    cairo_surface_t* s = drawn_;
    return FrameView{cairo_image_surface_get_data(s), cairo_image_surface_get_width(s),
                     cairo_image_surface_get_height(s),
                     static_cast<size_t>(cairo_image_surface_get_stride(s)), renderedVersion_};
}

std::string FrameProducer::png() {
    current();
    std::string bytes;
    cairo_surface_write_to_png_stream(
        drawn_,
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    return bytes;
}

nlohmann::json FrameProducer::statsJson() const {
    const auto times = renderTimes_.snapshot();
    return {{"renders", renderCount_},
            {"renderedVersion", renderedVersion_},
            {"lastRenderMs", lastRenderMs_},
            {"renderP50Ms", times.p50Ms},
            {"renderP95Ms", times.p95Ms}};
}

} // namespace Engine
