// A little-endian one-strip TIFF around fax data, for the targets that
// read the same bytes as a TIFF page.
#ifndef TIFFVIEW_FUZZ_ONESTRIPTIFF_H
#define TIFFVIEW_FUZZ_ONESTRIPTIFF_H

#include <cstdint>
#include <vector>

namespace tvfuzz {

// A little-endian TIFF around one strip, tags in ascending order.
inline std::vector<std::uint8_t> OneStripTiff(const std::uint8_t* strip, std::uint32_t size, std::uint32_t compression,
                                              std::uint32_t t4Options, std::uint16_t fillOrder, std::uint32_t width,
                                              std::uint32_t rows, std::uint32_t t6Options = 0,
                                              std::uint16_t photometric = 0) {
    std::vector<std::uint8_t> f;
    auto u16 = [&f](std::uint32_t v) {
        f.push_back(static_cast<std::uint8_t>(v));
        f.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto u32 = [&u16](std::uint32_t v) {
        u16(v & 0xFFFFu);
        u16(v >> 16);
    };
    f = {'I', 'I', 42, 0};
    const std::uint32_t stripAt = 8;
    const std::uint32_t xresAt = stripAt + size + (size & 1);
    const std::uint32_t yresAt = xresAt + 8;
    const std::uint32_t ifdAt = yresAt + 8;
    u32(ifdAt);
    f.insert(f.end(), strip, strip + size);
    if (size & 1) f.push_back(0);
    u32(204);
    u32(1);
    u32(196);
    u32(1);
    struct Tag {
        std::uint16_t tag, type;
        std::uint32_t value;
    };
    std::vector<Tag> tags = {{256, 4, width},    {257, 4, rows},   {258, 3, 1},       {259, 3, compression},
                             {262, 3, photometric},        {266, 3, fillOrder}, {273, 4, stripAt}, {277, 3, 1},
                             {278, 4, rows},     {279, 4, size},   {282, 5, xresAt},  {283, 5, yresAt}};
    if (compression == 3) tags.push_back({292, 4, t4Options});
    if (compression == 4 && t6Options != 0) tags.push_back({293, 4, t6Options});
    tags.push_back({296, 3, 2});
    u16(static_cast<std::uint32_t>(tags.size()));
    for (const Tag& t : tags) {
        u16(t.tag);
        u16(t.type);
        u32(1);
        if (t.type == 3) {
            u16(t.value);
            u16(0);
        } else {
            u32(t.value);
        }
    }
    u32(0);
    return f;
}

}  // namespace tvfuzz

#endif
