#include "media/ffmpeg/PlanarFrames.h"

namespace tvn::planarframes {

PlanarPicture showing(const AVFrame* frame, PlanarPicture::Matrix matrix) {
    if (frame->format != AV_PIX_FMT_YUV420P) return {};
    AVFrame* ref = av_frame_clone(frame);
    if (!ref) return {};
    std::shared_ptr<void> owner(ref, [](void* f) {
        auto* p = static_cast<AVFrame*>(f);
        av_frame_free(&p);
    });
    return PlanarPicture(ref->width, ref->height, matrix, ref->data, ref->linesize, std::move(owner));
}

ff::FramePtr frameShowing(const PlanarPicture& picture) {
    ff::FramePtr frame(av_frame_alloc());
    if (!frame) return nullptr;
    auto* kept = new PlanarPicture(picture);
    frame->buf[0] = av_buffer_create(
        const_cast<uint8_t*>(picture.plane(0)), size_t(picture.stride(0)) * size_t(picture.height()),
        [](void* opaque, uint8_t*) { delete static_cast<PlanarPicture*>(opaque); }, kept, AV_BUFFER_FLAG_READONLY);
    if (!frame->buf[0]) {
        delete kept;
        return nullptr;
    }
    for (int i = 0; i < 3; ++i) {
        frame->data[i] = const_cast<uint8_t*>(picture.plane(i));
        frame->linesize[i] = picture.stride(i);
    }
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = picture.width();
    frame->height = picture.height();
    frame->colorspace = spaceOf(picture.matrix());
    frame->color_range = AVCOL_RANGE_MPEG;
    return frame;
}

AVColorSpace spaceOf(PlanarPicture::Matrix matrix) {
    return matrix == PlanarPicture::Matrix::Bt601 ? AVCOL_SPC_SMPTE170M : AVCOL_SPC_BT709;
}

}  // namespace tvn::planarframes
