#include <gtest/gtest.h>

#include <string>

#include "base/platform/windows_path.h"

// Windows' own path rules, which Wine does not enforce (it opens long
// relative paths and keeps trailing dots anyway): the full path decides
// whether the classic calls can take a path, and names are kept exactly.

namespace {

const uint16_t* units(const std::u16string& s) { return (const uint16_t*)s.c_str(); }

std::u16string full(const std::u16string& path, const std::u16string& base) {
    uint16_t out[512];
    const int32_t n = windows_path_full(units(path), units(base), out, 512);
    return n < 0 ? u"<too long>" : std::u16string((const char16_t*)out, (size_t)n);
}

TEST(WindowsPath, FullPathsKeepEveryNameExactly) {
    struct {
        std::u16string path, base, full;
        windows_anchor_t anchor;
    } cases[] = {
        {u"src\\a.c", u"C:\\work", u"C:\\work\\src\\a.c", WINDOWS_RELATIVE},
        {u"./src/./a.c", u"C:\\work\\", u"C:\\work\\src\\a.c", WINDOWS_RELATIVE},
        {u"..\\..\\..\\x", u"C:\\a\\b", u"C:\\x", WINDOWS_RELATIVE},
        {u"dd.\\x.c ", u"C:\\w", u"C:\\w\\dd.\\x.c ", WINDOWS_RELATIVE},
        {u"\\top\\x", u"D:\\", u"D:\\top\\x", WINDOWS_ROOTED},
        // A rooted path leaves the current folder of a drive for its root.
        {u"\\top\\x", u"D:\\d\\e", u"D:\\top\\x", WINDOWS_ROOTED},
        // ".." stops at the root, which keeps its separator.
        {u"..", u"C:\\work", u"C:\\", WINDOWS_RELATIVE},
        {u"D:", u"D:\\cwd of d", u"D:\\cwd of d", WINDOWS_DRIVE},
        {u"D:out.h", u"D:\\d", u"D:\\d\\out.h", WINDOWS_DRIVE},
        {u"C:/x/../y", u"", u"C:\\y", WINDOWS_FULL},
        {u"\\\\server\\share\\..\\..\\f", u"", u"\\\\server\\share\\f", WINDOWS_FULL},
        {u"\\\\?\\C:\\keep\\..\\as is", u"", u"\\\\?\\C:\\keep\\..\\as is", WINDOWS_FULL},
        {u"x", std::u16string(u"C:\\") + std::u16string(600, u'd'), u"<too long>",
         WINDOWS_RELATIVE},
    };
    for (auto& c : cases) {
        EXPECT_EQ(windows_path_anchor(units(c.path)), c.anchor);
        EXPECT_TRUE(full(c.path, c.base) == c.full) << std::string(c.path.begin(), c.path.end());
    }
}

TEST(WindowsPath, ClassicCallsTakeShortPathsWithPlainNames) {
    // A relative path of 200 units in a deep working directory is over the
    // limit: the full path decides, not the path as given.
    const std::u16string deep = u"C:\\Users\\someone\\source\\repos\\Studio\\Game\\Engine";
    const std::u16string f = full(std::u16string(200, u'n'), deep);
    struct {
        std::u16string full;
        int needs;
        std::u16string extended;
    } cases[] = {
        {u"C:\\w\\x.c", 0, u"\\\\?\\C:\\w\\x.c"},
        {f, 1, u"\\\\?\\" + f},
        {std::u16string(u"C:\\") + std::u16string(WINDOWS_CLASSIC_LIMIT - 4, u'n'), 0, u""},
        {std::u16string(u"C:\\") + std::u16string(WINDOWS_CLASSIC_LIMIT - 3, u'n'), 1, u""},
        {u"C:\\w\\dot.", 1, u"\\\\?\\C:\\w\\dot."},
        {u"C:\\dd.\\x.c", 1, u""},
        {u"C:\\w\\x.c ", 1, u""},
        {u"\\\\server\\share\\x", 0, u"\\\\?\\UNC\\server\\share\\x"},
        {u"\\\\.\\NUL", 0, u"\\\\.\\NUL"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(windows_path_needs_extended(units(c.full), (uint32_t)c.full.size()), c.needs)
            << c.full.size();
        if (c.extended.empty()) continue;
        uint16_t out[512];
        const int32_t n = windows_path_extended(units(c.full), out, 512);
        EXPECT_TRUE(std::u16string((const char16_t*)out, (size_t)n) == c.extended);
    }
}

} // namespace
