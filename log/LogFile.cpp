// The state log: a short CR LF text file describing the image and the
// reader's counters after a strip decoded to the wrong number of bytes.
#include <cstdio>

#include "TiffView.h"
#include "log/LogLine.h"

namespace {

// Writes one finished line and pushes it to the file at once, so that every
// completed line survives a failure further on. False once anything failed.
bool WriteLine(std::FILE* file, const tvlog::CLogLine& line) {
    if (std::fwrite(line.Data(), 1, line.Length(), file) != line.Length()) return false;
    return std::fflush(file) == 0;
}

}  // namespace

void CTiffView::LogFile(const char* path) {
    if (LogPending == 0) return;
    // The fault counts as logged whatever happens below: a log that cannot
    // be written now is not retried at a later close.
    LogPending = 0;
    if (path == nullptr || path[0] == '\0') return;

    // Binary mode: the CR LF line ends are written out explicitly, and no
    // platform may add a second CR.
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return;

    tvlog::CLogLine line;
    bool ok = true;
    // Builds the next line only while every earlier one reached the file.
    auto emit = [&](auto&& build) {
        if (!ok) return;
        line.Clear();
        build(line);
        line.End();
        ok = WriteLine(file, line);
    };

    emit([&](tvlog::CLogLine& l) { l.Add("ErrorID = ").AddU(ErrorID); });
    // The name is at most 260 characters and terminated; the limit only
    // keeps a damaged name from being read past its array.
    emit([&](tvlog::CLogLine& l) { l.Add("FileName = ").Add(FileName, sizeof FileName); });
    emit([&](tvlog::CLogLine& l) { l.Add("FileHandle = ").AddS(FileHandle); });
    emit([&](tvlog::CLogLine& l) { l.Add("IFDNum = ").AddU(IFDNum).Add(" / ").AddU(IFDSize); });
    emit([&](tvlog::CLogLine& l) { l.Add("Intel = ").AddU(Intel); });
    emit([&](tvlog::CLogLine& l) { l.Add("Width * Length = ").AddU(Width).Add(" * ").AddU(Length); });
    // Compression is printed in signed form although it is stored unsigned;
    // only 3, 4 and 5 ever reach a log, where both forms agree.
    emit([&](tvlog::CLogLine& l) { l.Add("Compression = ").AddS(static_cast<std::int32_t>(Compression)); });
    emit([&](tvlog::CLogLine& l) { l.Add("PhotometricInterpretation = ").AddU(PhotometricInterpretation); });
    emit([&](tvlog::CLogLine& l) {
        l.Add("Resolution = ").AddR(XResolution).Add(" * ").AddR(YResolution).Add(" @ ").AddU(ResolutionUnit);
    });
    emit([&](tvlog::CLogLine& l) { l.Add("FillOrder = ").AddU(FillOrder); });
    emit([&](tvlog::CLogLine& l) { l.Add("PlanarConfiguration = ").AddU(PlanarConfiguration); });
    emit([&](tvlog::CLogLine& l) { l.Add("Predictor = ").AddU(Predictor); });
    emit([&](tvlog::CLogLine& l) { l.Add("T4Options = ").AddU(T4Options); });
    emit([&](tvlog::CLogLine& l) { l.Add("T6Options = ").AddU(T6Options); });
    emit([&](tvlog::CLogLine& l) { l.Add("RowsPerStrip = ").AddU(RowsPerStrip); });
    emit([&](tvlog::CLogLine& l) { l.Add("StripsPerImage = ").AddU(StripsPerImage); });
    emit([&](tvlog::CLogLine& l) { l.Add("LineByte = ").AddU(LineByte); });
    emit([&](tvlog::CLogLine& l) { l.Add("Complete = ").AddS(Complete); });
    emit([&](tvlog::CLogLine& l) { l.Add("StripOffset = ").AddU(StripOffset); });
    emit([&](tvlog::CLogLine& l) { l.Add("PackedByte = ").AddU(PackedByte).Add(" / ").AddU(UnpackedByte); });
    // "Bolck" is the label's historical spelling; log readers match on it.
    emit([&](tvlog::CLogLine& l) {
        l.Add("BolckInfo = ").AddU(BlockSize).Add(" [ ").AddU(BlockEnd).Add(" / ").AddU(BlockPos).Add(" ]");
    });
    emit([&](tvlog::CLogLine& l) { l.Add("MaxStripByte = ").AddU(MaxStripByte); });
    // A single-strip image never advances StripsRead, so it has no strip
    // lines. The row range is computed modulo 2^32 like every counter here;
    // it ends at the most recently loaded strip, which after a surplus in an
    // inner strip is already the next one.
    if (StripsRead > 0) {
        emit([&](tvlog::CLogLine& l) {
            l.Add("CurStrip = ")
                .AddU(CurStrip)
                .Add(" [ ")
                .AddU(CurStrip * RowsPerStrip)
                .Add(" - ")
                .AddU(StripsRead * RowsPerStrip - 1u)
                .Add(" ]");
        });
        // The strip tables are consulted only where they really hold the
        // entry, whatever StripsPerImage claims.
        if (CurStrip < StripsPerImage && CurStrip < StripOffsets.size() && CurStrip < StripByteCounts.size()) {
            emit([&](tvlog::CLogLine& l) {
                l.Add("CurStripInfo = [ ")
                    .AddU(StripOffsets[CurStrip])
                    .Add(" / ")
                    .AddU(StripByteCounts[CurStrip])
                    .Add(" ]");
            });
        }
    }
    emit([&](tvlog::CLogLine& l) { l.Add("CurLine = ").AddU(CurLine); });
    emit([&](tvlog::CLogLine& l) { l.Add("UnuseByte = ").AddU(UnuseByte); });
    emit([&](tvlog::CLogLine& l) {
        l.Add("UnpackError = ").AddU(StripUnpackByte).Add(" / ").AddU(StripByte).Add(" = ").AddS(UnpackDiff);
    });

    std::fclose(file);
}
