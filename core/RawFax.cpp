#include "core/RawFax.h"

#include <algorithm>
#include <new>
#include <vector>

#include "TiffViewCodes.h"
#include "decoder/BitOrder.h"
#include "core/PageLayout.h"
#include "core/Source.h"
#include "fax/FaxLines.h"

namespace tvcore {

namespace {

// The widest row a stream may have: the most a TIFF page's row may hold
// as the line engine reads it.
constexpr std::uint32_t kMaxWidth = 1u << 24;

// Whether the bits from `at` on end the block: Group 4's EOFB (two EOLs,
// eleven or more 0s and a 1 each), or Group 3's RTC (six EOLs, each with a
// tag bit when lines may be two-dimensional), or, as some writers end a
// stream, two EOLs or more and nothing but 0s after them. A row's own EOL
// and codes never put two EOLs together, and damaged data seldom does so
// up to its end. Byte-aligned rows are no hindrance: the end of the block
// need not be aligned.
bool EndOfBlockAt(const std::uint8_t* data, std::uint64_t bits, std::uint64_t at, bool group4, bool tagBits) {
    auto bit = [&](std::uint64_t i) { return (data[i >> 3] >> (7 - (i & 7))) & 1; };
    const int rtc = group4 ? 2 : 6;
    // A row ended by an EOL has read its 0s already: they count for the
    // first EOL.
    std::uint64_t zeros = 0;
    for (std::uint64_t before = at; before > 0 && bit(before - 1) == 0; --before) ++zeros;
    int eols = 0;
    for (;;) {
        while (at < bits && bit(at) == 0) {
            ++at;
            ++zeros;
        }
        if (at >= bits) return eols >= 2;  // only 0s after the EOLs
        if (zeros < 11) return false;
        if (++eols == rtc) return true;
        at += tagBits ? 2 : 1;
        zeros = 0;
    }
}

// Lines in `data` up to the end of its block or its data, each line a line
// of the page even when damaged or cut off by the data's end. Each line
// takes at least one bit, so no stream holds more lines than bits.
std::uint32_t CountRows(const RawFax& fax, const std::uint8_t* data, std::uint32_t size, std::uint32_t& rows) {
    CFaxLines decoder(fax.compression, fax.twoDimensional, fax.compression != 2);
    decoder.SetRowsByteAligned(fax.compression != 2 && fax.byteAligned);
    if (decoder.SetWidth(fax.width) == 0) return TV_ERR_NO_MEMORY;
    decoder.Reset();
    const std::uint64_t bits = std::uint64_t{size} * 8;
    const std::uint64_t most = std::min<std::uint64_t>(bits, UINT32_MAX - 1);
    // Zero bits after the data's last 1 are padding: a line that would
    // start there is none.
    std::uint64_t padding = 0;
    for (std::uint32_t i = size; i > 0 && padding == std::uint64_t{size - i} * 8; --i) {
        padding += data[i - 1] == 0 ? 8 : static_cast<unsigned>(__builtin_ctz(data[i - 1]));
    }
    std::uint32_t at = 0;
    rows = 0;
    while (rows < most) {
        const std::uint64_t start = std::uint64_t{at} * 8 + decoder.GetBitOffset();
        if (start >= bits - padding || EndOfBlockAt(data, bits, start, fax.compression == 4, fax.twoDimensional)) break;
        std::uint32_t consumed = 0, produced = 0;
        if (decoder.Decode(data + at, size - at, consumed, 1, produced) == 0) return TV_ERR_NO_MEMORY;
        at += consumed;
        if (produced == 0 || decoder.EndedBlock()) break;
        decoder.Discard(1);
        ++rows;
    }
    return TV_OK;
}

}  // namespace

std::uint32_t ReadRawFaxLayout(Source& source, const RawFax& fax, PageLayout& layout) {
    if (fax.compression < 2 || fax.compression > 4 || fax.width == 0 || fax.width > kMaxWidth) {
        return TV_ERR_ARGUMENT;
    }
    if (source.Size() > UINT32_MAX) return TV_ERR_NO_MEMORY;
    const auto size = static_cast<std::uint32_t>(source.Size());
    std::uint32_t rows = fax.rows;
    if (rows == 0) {
        try {
            // The stream as the decoder reads it: in place when the source
            // has a view and the bits need no reversing.
            std::vector<std::uint8_t> copy;
            const std::uint8_t* data = source.View();
            if (data == nullptr || fax.lsbFirst) {
                copy.resize(size);
                if (source.ReadAt(0, copy.data(), size) != size) return TV_ERR_STRIP_READ;
                if (fax.lsbFirst) tvbits::ReverseBits(copy.data(), size);
                data = copy.data();
            }
            const std::uint32_t counted = CountRows(fax, data, size, rows);
            if (counted != TV_OK) return counted;
        } catch (const std::bad_alloc&) {
            return TV_ERR_NO_MEMORY;
        }
        if (rows == 0) return TV_ERR_FILE_SHORT;
    }
    layout = PageLayout();
    layout.pageIndex = 0;
    layout.pageCount = 1;
    layout.width = fax.width;
    layout.length = rows;
    layout.compression = fax.compression;
    layout.photometric = 0;  // white is zero, as the codes have it
    layout.invert = fax.blackIs1;
    layout.fillOrder = fax.lsbFirst ? 2 : 1;
    // Uncompressed mode is allowed: a stream has no option that forbids it,
    // and its extension code means nothing else.
    layout.t4Options = fax.compression != 3 ? 0u
                                            : (fax.twoDimensional ? 1u : 0u) | 2u | (fax.byteAligned ? 4u : 0u);
    layout.t6Options = fax.compression == 4 ? 2u : 0u;
    layout.faxRowsAligned = fax.compression != 2 && fax.byteAligned;
    layout.rowsPerStrip = rows;
    layout.chunkWidth = fax.width;
    layout.chunkRows = rows;
    layout.chunks.push_back(Chunk{0, size});
    return TV_OK;
}

}  // namespace tvcore
