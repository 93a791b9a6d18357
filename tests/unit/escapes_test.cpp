#include "cli/escapes.h"

#include <gtest/gtest.h>

namespace quillmot {
namespace {

TEST(DecodeEscapes, Table) {
  struct Case {
    std::u16string source, decoded;
  } cases[] = {
      {u"", u""},
      {u"plain", u"plain"},
      {u"\\\"", u"\""},
      {u"\\\\", u"\\"},
      {u"\\n", u"\n"},
      {u"\\r\\n", u"\r\n"},
      {u"\\t", u"\t"},
      {u"\\", u"\\"},
      {u"a\\", u"a\\"},
      {u"\\0", std::u16string(1, u'\0')},
      {u"a\\0\\00", std::u16string(u"a\0\0"
                                   "0",
                                   4)},
      {u"\\N\\R\\T", u"\\N\\R\\T"},
      {u"\\\\n", u"\\n"},
      {u"\\\\\\\\srv", u"\\\\srv"},
      {u"\\x\\", u"\\x\\"},
      {u"\\\\\\", u"\\\\"},
      {u"x\\ty\\\"z", u"x\ty\"z"},
      {u"\u00e9\\t\u00ff", u"\u00e9\t\u00ff"},
  };
  for (const Case& c : cases) {
    std::u16string decoded = decode_escapes(c.source);
    EXPECT_EQ(decoded, c.decoded) << "source of " << c.source.size() << " characters";
    EXPECT_LE(decoded.size(), c.source.size());
  }
}

TEST(NormalizeServerName, Table) {
  struct Case {
    std::u16string given, normal;
  } cases[] = {
      {u"srv", u"\\\\srv"},         {u"\\srv", u"\\\\srv"},   {u"\\\\srv", u"\\\\srv"},
      {u"\\\\\\srv", u"\\\\\\srv"}, {u"", u"\\\\"},           {u"\\", u"\\\\"},
      {u"\\\\", u"\\\\"},           {u"s\\rv", u"\\\\s\\rv"}, {u"127.0.0.1", u"\\\\127.0.0.1"},
  };
  for (const Case& c : cases) {
    std::u16string name = c.given;
    normalize_server_name(name);
    EXPECT_EQ(name, c.normal);
  }
}

}  // namespace
}  // namespace quillmot
