#include "view/picture/FrameRender.h"

#include "view/picture/FieldRender.h"

#include "image/ImageBuffer.h"

namespace kavlo {

namespace {

constexpr uint32_t kDestinationBGR3 = 0x33524742;  // "BGR3"

// Row stride of a 32-bit image `width` pixels wide, rounded down as the image storage does.
ptrdiff_t ImageStride32(int width) {
    return static_cast<ptrdiff_t>((static_cast<int64_t>(width) * 4 + 15) & ~int64_t(15));
}

}  // namespace

ConvertFlags RenderConvertFlags(const SourceFrame& frame, const ViewSwitches& switches) {
    // Interlaced 4:2:0 chroma is upsampled within each field: the fields alternate row by row,
    // or, stored one after the other, each field's chroma rows follow the first field's.
    const StoredFrameFlags& stored = frame.stored;
    const bool fieldsSeparated = (stored.fieldsSeparated ^ switches.separatedToggle) != 0;
    ConvertFlags flags = 0;
    if ((stored.interlaced ^ switches.interlaceToggle) != 0)
        flags |= fieldsSeparated ? CONVERT_FIELDS_SEPARATED : CONVERT_INTERLACED;
    if (switches.filter1) flags |= CONVERT_FILTER_1;
    if (switches.filter2) flags |= CONVERT_FILTER_2;
    if (switches.filter3) flags |= CONVERT_FILTER_3;
    if (switches.lumaOnly) flags |= CONVERT_LUMA_ONLY;
    if (switches.cbOnly) flags |= CONVERT_CB_ONLY;
    if (switches.crOnly) flags |= CONVERT_CR_ONLY;
    if (switches.mosaicGrey) flags |= CONVERT_MOSAIC_GREY;
    if (frame.sampleRange == 2) flags |= CONVERT_RGB_STUDIO_RANGE;
    flags |= frame.colour & CONVERT_COLOUR_MASK;
    return flags;
}

bool RenderBottomUp(const StoredFrameFlags& stored, const ViewSwitches& switches) {
    return ((stored.bottomUp ^ stored.flip) ^ switches.flipToggle) != 0;
}

bool FrameRenderer::Reserve(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    if (width == width_ && height == height_ && scratch_) return true;
    width_ = height_ = 0;
    if (!scratch_.Allocate(ScratchBytes(width, height))) return false;
    width_ = width;
    height_ = height;
    return true;
}

void FrameRenderer::Release() {
    scratch_.Reset();
    width_ = height_ = 0;
}

ptrdiff_t FrameRenderer::ConvertedStride() const { return ImageStride32(width_ + 4); }

bool FrameRenderer::Render(const SourceFrame& frame, const ViewSwitches& switches,
                           std::unique_ptr<DisplayBitmap>& bitmap) {
    const int w = frame.width;
    const int h = frame.height;
    if (!scratch_ || w != width_ || h != height_) return false;

    // The converted image lives in the scratch block, 4 pixels wider and 16 rows taller than the
    // frame so that the conversion may finish whole groups.
    const ptrdiff_t convertedStride = ConvertedStride();
    CTNImage converted = CTNImage::Borrow(
        scratch_.data(), static_cast<uint32_t>(w + 4), static_cast<uint32_t>(h + 16),
        static_cast<int32_t>(convertedStride), 32, static_cast<uint32_t>(scratch_.size()));
    if (!converted) return false;
    converted->size = static_cast<uint32_t>(convertedStride * (h + 16));
    converted->rowAlignment = 16;
    converted->storageAlignment = 4096;

    const StoredFrameFlags& stored = frame.stored;
    const bool fieldsSeparated = (stored.fieldsSeparated ^ switches.separatedToggle) != 0;
    const ConvertFlags flags = RenderConvertFlags(frame, switches);
    const bool bottomUp = RenderBottomUp(stored, switches);
    if (!bitmap || bitmap->PictureWidth() != w || bitmap->Height() != h) {
        bitmap.reset();
        bitmap = DisplayBitmap::Create(w, h, bottomUp);
        if (!bitmap) return false;
    }
    bitmap->SetBottomUp(bottomUp);

    FieldArrangement arrangement;
    arrangement.separated = fieldsSeparated;
    arrangement.split = switches.splitFields != 0;
    arrangement.swapped = switches.swappedFieldOrder != 0;
    const bool deinterlace = switches.deinterlace && !switches.splitFields;
    // Without a field step the converted rows are the picture: convert straight into the
    // bitmap (the conversion writes exactly 3 x W bytes a row, the bitmap's rows hold at least
    // that) and save a copy of the whole picture per frame.
    const bool direct = ArrangementIsIdentity(arrangement) && !deinterlace;
    uint8_t* destination = direct ? bitmap->Row(0) : converted->storage;
    const int32_t destinationPitch = direct ? static_cast<int32_t>(bitmap->Stride())
                                            : static_cast<int32_t>(converted->lineBytes);
    if (!ConvertFrame(w, h, flags, frame.code, frame.bytes, frame.lineBytes, kDestinationBGR3,
                      destination, destinationPitch)) {
        bitmap->Clear();
        return true;
    }
    if (direct) return true;

    const RowImage source{converted->storage, converted->lineBytes, h};
    RowImage result = source;
    CTNImage field;
    if (!ArrangementIsIdentity(arrangement)) {
        field = CTNImage::Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 32);
        if (!field || !field->storage) {
            bitmap->Clear();
            return true;
        }
        const RowImage fieldRows{field->storage, field->lineBytes, h};
        ArrangeFields(source, fieldRows, static_cast<size_t>(fieldRows.stride), arrangement);
        result = fieldRows;
    }

    const RowImage out{bitmap->Row(0), static_cast<ptrdiff_t>(bitmap->Stride()), h};
    const size_t rowBytes = bitmap->Stride();
    if (!deinterlace) {
        CopyRows(result, out, rowBytes);
    } else if (!Deinterlace(switches.deinterlaceMethod, result, out, rowBytes,
                            &VerticalLowPass121)) {
        // An unknown method writes nothing: the picture is black.
        bitmap->Clear();
    }
    return true;
}

}  // namespace kavlo
