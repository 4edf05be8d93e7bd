// The open raw video file behind the video view: the components that read it (a raw video
// source and its track's seeking interface, reached through the core), the frame buffer that
// holds the frame read last, the frame geometry from the settings record, and the position.
//
// Thread rules: an instance has no thread affinity and no locking. One thread at a time uses it
// (one reader per instance): Open, LoadFrame, Close and the accessors must not overlap, and
// RawFrame() stays valid only until the next LoadFrame or Close on the same instance. It may be
// handed to a worker thread between calls. The core must stay initialised while a file is open.
#pragma once

#include "view/file/AlignedBuffer.h"
#include "view/file/FrameLineCheck.h"
#include "view/file/LentAllocator.h"
#include "view/file/SourceFrame.h"

#include "image/Convert.h"
#include "settings/ColourChoice.h"
#include "settings/RawSettings.h"
#include "TNPtr.h"

#include <QString>

#include <cstdint>

namespace kavlo {

// Why the file could not be opened, in words a user can act on ("clip.yuv is a directory",
// "permission denied: clip.yuv cannot be read", "... is not a regular file (it is a named
// pipe)"), from the file system and the plug-in's result; empty when neither tells.
QString FileOpenReason(const QString& fileName, TNRESULT result);

class VideoFile {
public:
    VideoFile() = default;
    ~VideoFile() { Close(); }
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    // The largest frame (|line bytes| x height) the raw video source reads: its samples' 32-bit
    // size rounded up to 16 bytes must fit 31 bits (kMaxFramePayload of the plug-in).
    static constexpr uint64_t kMaxFrameBytes = 0x7FFFFFF0u;

    // Takes the geometry from `settings` and checks it, creates the components and opens
    // fileName, then allocates the frame buffer; writes the file size and the trailing bytes
    // back into `settings`. A file that is not a regular file, or that holds no whole frame, is
    // refused before the frame buffer is allocated. Reads no frame: the position stays before
    // the first one. On failure errorText says why (for most failures) and the instance is
    // closed.
    bool Open(RawSettings* settings, const QString& fileName, QString& errorText);
    // Reads frame `frame` into the frame buffer and makes it the position. False when nothing
    // was read: no file, frame beyond the frame count, the frame is already the position, or a
    // failed read; a failed read leaves the position and the frame buffer as they were. (The
    // frame is read into a second buffer, which becomes the frame buffer when the read succeeds:
    // RawFrame() then points elsewhere.)
    bool LoadFrame(int64_t frame);
    // Why the last LoadFrame read nothing, when a check of the file's own structure refused the
    // frame (a YUV4MPEG2 frame line that differs from the first); empty otherwise.
    const QString& LoadError() const { return loadError_; }
    // A frame read whole elsewhere (the read-ahead cache) is shown instead.
    void ClearLoadError() { loadError_.clear(); }
    // Reads frame `frame` into `destination` (RawFrameBytes() bytes) instead of the frame buffer,
    // which keeps what it held (a reader that keeps frames elsewhere saves a copy); the position
    // becomes the frame. False when nothing was read, as for LoadFrame (the same frame again is
    // read again); the destination may then hold part of the frame. The source reads straight
    // into a destination aligned to 16 bytes; any other is filled by a copy. Only the frame's
    // |line bytes| x height bytes are written.
    bool LoadFrameInto(int64_t frame, uint8_t* destination);
    // Releases the components and the buffer and forgets the geometry; harmless when closed.
    void Close();

    bool IsOpen() const { return static_cast<bool>(rawFrame_); }
    // The seeking interface's position (the frame read last), -1 when it cannot be had.
    int64_t Position() const;

    int Width() const { return width_; }
    int Height() const { return height_; }        // rows, whatever the orientation
    int LineBytes() const { return lineBytes_; }  // the pitch without its sign
    uint32_t LayoutCode() const { return layoutCode_; }
    uint32_t SampleRange() const { return sampleRange_; }
    const StoredFrameFlags& StoredFlags() const { return stored_; }
    int64_t FrameCount() const { return frameCount_; }
    uint32_t FrameDuration() const { return frameDuration_; }
    uint32_t TimeScale() const { return timeScale_; }
    // The file name and the settings record of a successful open (empty and zero otherwise).
    const QString& FileName() const { return fileName_; }
    const RawSettings& Settings() const { return settings_; }

    // The frame read last: Height() rows of LineBytes() bytes, top row first as stored.
    const uint8_t* RawFrame() const { return rawFrame_.data(); }
    // The frame read last with its geometry and stored flags, as the renderer takes it.
    SourceFrame Frame() const {
        return {RawFrame(), width_,       height_, layoutCode_,
                lineBytes_, sampleRange_, stored_, colourFlags_};
    }
    // The colour matrix and range: as chosen (MatrixChoice::Automatic included), and the
    // conversion flags in use. SetColourChoice changes them and the settings record's bytes
    // (Settings()); it reads nothing from the file. Harmless while closed.
    MatrixChoice ColourMatrixChoice() const { return StoredMatrixChoice(settings_); }
    bool FullRange() const { return StoredFullRange(settings_); }
    ConvertFlags ColourFlags() const { return colourFlags_; }
    void SetColourChoice(MatrixChoice matrix, bool fullRange);
    size_t RawFrameBytes() const { return rawFrame_.size(); }

    // Bytes of the display buffer the view converts a frame of this size into (4 pixels wider
    // and 16 rows taller than the frame, 4 bytes a pixel), in 64 bits.
    static uint64_t ConvertedBufferBytes(int width, int height);

private:
    // Reads the frame into `destination`: lent to the source for the read when `lend`, else
    // copied there from a buffer of the allocator's own.
    bool ReadInto(int64_t frame, int64_t previous, uint8_t* destination, bool lend);
    bool CheckFrameGeometry(const RawVideoFormat& format, QString& errorText) const;
    bool OpenComponents(RawSettings* settings, const QString& fileName, QString& errorText,
                        uint64_t rawBytes);

    kavlo::AlignedBuffer rawFrame_;
    // LoadFrame reads here and swaps it with rawFrame_ when the read succeeded; made on the
    // first LoadFrame (readers that use LoadFrameInto alone never need it).
    kavlo::AlignedBuffer nextFrame_;
    int width_ = 0;
    int height_ = 0;
    int lineBytes_ = 0;
    uint32_t layoutCode_ = 0;
    uint32_t sampleRange_ = 0;
    StoredFrameFlags stored_;
    ConvertFlags colourFlags_ = 0;
    // The seeking interface is released before the source: the track holds no reference to it.
    // The track holds a reference to the allocator, which lends it each read's destination.
    TNPtr<LentAllocator> lender_;
    TNPtr<ITNBasePlugin> source_;
    TNPtr<ITNSeeking> seeking_;
    int64_t frameCount_ = 0;
    uint32_t frameDuration_ = 0;
    uint32_t timeScale_ = 1;
    RawSettings settings_{};
    QString fileName_;
    FrameLineCheck frameLines_;
    QString loadError_;
};

}  // namespace kavlo
