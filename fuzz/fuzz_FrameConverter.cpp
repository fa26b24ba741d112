// Camera JPEGs arrive from the camera (or its driver) unchecked: anything may come, not JPEG at all,
// truncated, or with absurd dimensions in its header. The converter must reject or convert each
// without a crash, and a success must always yield a whole frame of the output size.
//
// Input layout: 4 bytes choose the output size (and whether to ask for an absurd one), the rest is
// the "JPEG". One converter serves all inputs, as one serves a whole capture run.
#include "driver/capture/FrameConverter.h"
#include "fuzz/FuzzTarget.h"

#include <QtGlobal>

#include <memory>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

QSize outputSizeFrom(const uint8_t *header)
{
    // Ordinary sizes up to 511 x 511 keep runs fast; the top bits ask for sizes that must be refused.
    int width = header[0] | ((header[1] & 0x01) << 8);
    int height = header[2] | ((header[3] & 0x01) << 8);
    if (header[1] & 0x80)
        width = -width;
    if (header[3] & 0x80)
        height = FrameConverter::maxSide + 1 + height;
    return QSize(width, height);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static std::unique_ptr<FrameConverter> converter(new FrameConverter);
    if (size < 4)
        return 0;
    const QSize outputSize = outputSizeFrom(data);
    const uchar *jpeg = size > 4 ? data + 4 : nullptr;
    const qint64 length = qint64(size) - 4;

    FrameBuffer frame = FrameBuffer::create();
    if (converter->convert(jpeg, length, outputSize, frame)) {
        FUZZ_CHECK(outputSize.width() > 0 && outputSize.height() > 0);
        FUZZ_CHECK(qint64(frame.size()) == qint64(outputSize.width()) * outputSize.height() * 3);
    }
    return 0;
}
