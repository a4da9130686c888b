// Result-code messages are GBK bytes; they are checked here by converting
// them to UTF-8 with the C library's iconv and comparing with the texts as
// a reader of the table sees them.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "TiffView.h"

namespace {

std::string Message(std::uint32_t code) {
    char text[64];
    std::memset(text, 0x7E, sizeof text);
    TiffView_GetErrorString(code, text);
    return std::string(text);
}

std::string GbkToUtf8(const std::string& gbk) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = gbk;
    char out[256] = {};
    char* inPtr = in.data();
    char* outPtr = out;
    std::size_t inLeft = in.size(), outLeft = sizeof out - 1;
    const std::size_t converted = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    EXPECT_NE(converted, static_cast<std::size_t>(-1)) << "not valid GBK";
    return std::string(out);
}

struct MessageCase {
    std::uint32_t code;
    const char* utf8;
    std::size_t bytes;
};

const MessageCase kMessageCases[] = {
    {TV_ERR_FILE_HANDLE, "图象文件句柄非法", 18},
    {TV_ERR_PATH_LENGTH, "图象文件路径长度非法", 22},
    {TV_ERR_FILE_OPEN, "图象文件打开错误", 18},
    {TV_ERR_LINE_BUFFER, "行缓冲区太小", 14},
    {TV_ERR_HEADER_SHORT, "图象文件小于文件头长度", 24},
    {TV_ERR_BYTE_ORDER, "图象文件不以\"II\"或者\"MM\"开头", 30},
    {TV_ERR_MAGIC, "图象文件ID不是42", 18},
    {TV_ERR_IFD_OFFSET_ZERO, "图象文件IDF偏移量为0", 22},
    {TV_ERR_FILE_SHORT, "图象文件小于文件头长度", 24},
    {TV_ERR_PAGE_MISSING, "图象文件页号不存在", 20},
    {TV_ERR_PAGE_OPTION, "图象文件页号非法", 18},
    {TV_ERR_IFD_COUNT_READ, "读取IFD个数失败", 17},
    {TV_ERR_IFD_READ, "读取IFD失败", 13},
    {TV_ERR_TAG_MISSING, "必须的IFD没有找到", 19},
    {TV_ERR_TAG_COUNT, "IFD数据数量不合法", 19},
    {TV_ERR_TAG_TYPE, "IFD类型不合法", 15},
    {TV_ERR_TAG_VALUE, "IFD参数不合法", 15},
    {TV_ERR_TAG_SEEK, "IFD参数表无法定位", 19},
    {TV_ERR_TAG_READ, "IFD参数表无法读取", 19},
    {TV_ERR_SAMPLES_PER_PIXEL, "SAMPLESPERPIXEL不为1", 22},
    {TV_ERR_BITS_PER_SAMPLE, "BITSPERSAMPLE不为1", 20},
    {TV_ERR_COMPRESSION, "压缩算法不支持", 16},
    {TV_ERR_PHOTOMETRIC, "PHOTOMETRICINTERPRETATION不支持", 33},
    {TV_ERR_NO_MEMORY, "内存分配失败", 14},
    {TV_ERR_END_OF_IMAGE, "文件已经读取完毕", 18},
    {TV_ERR_DECODE, "文件解压缩错误", 16},
    {TV_ERR_STRIP_SHORT, "条带数据偏少,填充0", 20},
    {TV_ERR_STRIP_LONG, "条带数据偏多,删除多余", 23},
    {TV_ERR_LINE_SHORT, "条带数据偏少,填充0", 20},
    {TV_ERR_LINE_DAMAGED, "行数据损坏", 12},
    {TV_ERR_STRIP_SEEK, "数据块无法定位", 16},
    {TV_ERR_STRIP_READ, "数据块无法读取", 16},
    {0xF0000004u, "未定义错误", 12},
};

TEST(ResultMessages, EveryCodeHasItsTextInGbkWithCrLf) {
    for (const MessageCase& c : kMessageCases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        const std::string gbk = Message(c.code);
        EXPECT_EQ(gbk.size(), c.bytes);
        ASSERT_GE(gbk.size(), 2u);
        EXPECT_EQ(gbk.substr(gbk.size() - 2), "\r\n");
        EXPECT_EQ(GbkToUtf8(gbk), std::string(c.utf8) + "\r\n");
    }
}

TEST(ResultMessages, ContextBitsDoNotChangeTheText) {
    EXPECT_EQ(Message(0xF0011630u), Message(TV_ERR_TAG_MISSING));
    EXPECT_EQ(Message(0xF0000261u), Message(TV_ERR_STRIP_READ));
    EXPECT_EQ(Message(0xF0FFFF60u), Message(TV_ERR_STRIP_SEEK));
}

TEST(ResultMessages, SharedTexts) {
    EXPECT_EQ(Message(TV_ERR_FILE_SHORT), Message(TV_ERR_HEADER_SHORT));
    EXPECT_EQ(Message(TV_ERR_LINE_SHORT), Message(TV_ERR_STRIP_SHORT));
    EXPECT_NE(Message(TV_ERR_STRIP_LONG), Message(TV_ERR_STRIP_SHORT));
}

TEST(ResultMessages, UnknownCodesAndSuccessGiveTheDefaultText) {
    const std::string fallback = Message(0xF00000FFu);
    EXPECT_EQ(GbkToUtf8(fallback), "未定义错误\r\n");
    for (std::uint32_t code : {0u, 0xE0000001u, 0xF0000004u, 0x00000030u, 0xF1000001u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Message(code), fallback) << std::hex << code;
    }
}

TEST(ResultMessages, LongestMessageFitsTheDocumentedBuffer) {
    char text[TV_MESSAGE_SIZE + 8];
    std::memset(text, 0x55, sizeof text);
    TiffView_GetErrorString(TV_ERR_PHOTOMETRIC, text);
    EXPECT_EQ(std::strlen(text), TV_MESSAGE_SIZE - 1);
    EXPECT_EQ(text[TV_MESSAGE_SIZE - 1], '\0');
    EXPECT_EQ(static_cast<unsigned char>(text[TV_MESSAGE_SIZE]), 0x55);
    for (const MessageCase& c : kMessageCases) EXPECT_LE(Message(c.code).size() + 1, TV_MESSAGE_SIZE);
}

TEST(Version, WritesExactlyFourBytes) {
    unsigned char raw[8];
    std::memset(raw, 0xAA, sizeof raw);
    TiffView_GetVersion(reinterpret_cast<Version_t*>(raw));
    const unsigned char expected[8] = {1, 1, 1, 3, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(0, std::memcmp(raw, expected, sizeof raw));
}

}  // namespace
