// English descriptions of result codes with their context, shared by the
// C++ and C interfaces.
#ifndef TIFFVIEW_API_MESSAGES_H
#define TIFFVIEW_API_MESSAGES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace tvapi {

// "<source>: [page P: ][tag N (Name): |strip N: ]<sentence>[ (<system reason>)][ <hint>]"
std::string DescribeResult(std::uint32_t code, const std::string& source, std::uint32_t page, int systemError);

// A page's compression refused by the any-bilevel profile, with the scheme
// named: "<source>: [page P: ]Compression N (Name): <why>."
std::string DescribeRefusedCompression(const std::string& source, std::uint32_t page, std::uint32_t compression);
std::string DescribeLineBuffer(const std::string& source, std::size_t given, std::size_t needed);

}  // namespace tvapi

#endif
