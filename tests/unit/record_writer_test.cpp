#include "listing/record_writer.h"

#include <gtest/gtest.h>

namespace quillmot {
namespace {

RunSettings settings_with(std::u16string string_quote, std::u16string integer_quote,
                          std::u16string field_delimiter, std::u16string record_delimiter) {
  RunSettings settings;
  settings.string_quote = std::move(string_quote);
  settings.integer_quote = std::move(integer_quote);
  settings.field_delimiter = std::move(field_delimiter);
  settings.record_delimiter = std::move(record_delimiter);
  return settings;
}

std::string written(const RunSettings& settings, const GroupRecord& record, QueryLevel level) {
  TextStream out;
  RecordWriter writer(settings, out);
  writer.write_group_record(record, level);
  return out.captured();
}

TEST(RecordWriter, LevelsAndFraming) {
  const RunSettings defaults;
  const GroupRecord staff{u"Staff", 513, u"All staff"};
  struct Case {
    RunSettings settings;
    GroupRecord record;
    QueryLevel level;
    std::string bytes;
  } cases[] = {
      {defaults, staff, kLevelName, "\"Staff\"\n"},
      {defaults, staff, kLevelNameAndId, "\"Staff\",513\n"},
      {defaults, staff, kLevelNameIdAndDescription, "\"Staff\",513,\"All staff\"\n"},
      {defaults, {u"Empty", 7, u""}, kLevelNameIdAndDescription, "\"Empty\",7,\"\"\n"},
      {settings_with(u"", u"", u"", u""), staff, kLevelNameIdAndDescription, "Staff513All staff"},
      {settings_with(u"'", u"\"", u"\t", u"\r\n"), staff, kLevelNameIdAndDescription,
       "'Staff'\t\"513\"\t'All staff'\r\n"},
      {settings_with(u"<<", u"##", u" | ", u";;\n"), staff, kLevelNameIdAndDescription,
       "<<Staff<< | ##513## | <<All staff<<;;\n"},
      {defaults, {u"max", 4294967295u, u""}, kLevelNameAndId, "\"max\",4294967295\n"},
      {defaults, {u"zero", 0, u""}, kLevelNameAndId, "\"zero\",0\n"},
      // Nothing inside a field is escaped.
      {defaults,
       {u"a\"b,c\nd", 1, u"x\\y"},
       kLevelNameIdAndDescription,
       "\"a\"b,c\nd\",1,\"x\\y\"\n"},
      // Characters 128 to 255 are single bytes of the same value.
      {defaults, {u"caf\u00e9\u0080\u00ff", 2, u""}, kLevelName, "\"caf\xe9\x80\xff\"\n"},
      // Characters of 256 and above become '?' and the rest of the text still goes out.
      {defaults,
       {u"Gr\u00fc\u0100ne\u4e2d", 3, u"a\U0001F600b"},
       kLevelNameIdAndDescription,
       "\"Gr\xfc?ne?\",3,\"a??b\"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(written(c.settings, c.record, c.level), c.bytes) << c.bytes;
}

TEST(RecordWriter, SettingsCharactersAbove255BecomeQuestionMarks) {
  RunSettings settings = settings_with(u"\u2019", u"", u"\u00a7", u"\n");
  EXPECT_EQ(written(settings, {u"x", 1, u""}, kLevelNameAndId),
            "?x?\xa7"
            "1\n");
}

TEST(RecordWriter, ManyRecordsCrossTheStreamBufferInOrder) {
  TextStream out;
  RunSettings settings;
  RecordWriter writer(settings, out);
  std::string expected;
  const std::u16string long_name(70000, u'n');
  for (uint32_t id = 0; id < 20000; ++id) {
    writer.write_group_record({u"g" + std::u16string(id % 7, u'x'), id, u""}, kLevelNameAndId);
    expected += "\"g" + std::string(id % 7, 'x') + "\"," + std::to_string(id) + "\n";
  }
  writer.write_group_record({long_name, 1, u""}, kLevelName);
  expected += "\"" + std::string(70000, 'n') + "\"\n";
  EXPECT_EQ(out.captured(), expected);
}

}  // namespace
}  // namespace quillmot
