#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../common/test_files.h"
#include "catalog/record/build_record.h"

namespace folivant {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

void SetTime(const std::string& path, std::int64_t seconds) {
  const timespec t[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

TFileRecord File(const std::string& name, int seed) {
  return {name, {100 + seed, 1'700'000'000'123'456'789 + seed}, 0xfedcba9876543210u + seed};
}

TPictureRecord Picture(const std::string& name, std::int64_t when, int seed) {
  TPictureRecord p;
  p.Name = name;
  p.When = when;
  p.Source = File("/pictures/" + name, seed);
  p.ImageKey = R"({"filter":6,"height":96})";
  p.Copy = File(name, seed + 1);
  p.CopyMade = seed % 2 == 0;
  p.Thumbnail = File("tn" + name, seed + 2);
  p.Page = File(name + ".html", seed + 3);
  p.Width = 4000 + seed, p.Height = 3000, p.TnWidth = 128, p.TnHeight = 96, p.SizeKb = 4000;
  return p;
}

void ExpectSame(const TBuildRecord& a, const TBuildRecord& b) {
  ASSERT_EQ(a.Pictures.size(), b.Pictures.size());
  for (const auto& [name, p] : a.Pictures) {
    ASSERT_TRUE(b.Pictures.count(name)) << name;
    EXPECT_TRUE(p.SameAs(b.Pictures.at(name))) << name;
    EXPECT_EQ(p.When, b.Pictures.at(name).When) << name;
  }
  EXPECT_EQ(a.CatalogPages, b.CatalogPages);
}

TEST(BuildRecord, VerifyComparesTheStampBeforeContent) {
  TempDir d;
  const std::string path = d / "f";
  const struct {
    const char* what;
    const char* bytes;  // nullptr: untouched
    bool sameTime, expected;
  } cases[] = {
      {"untouched: trusted, not read", nullptr, true, true},
      {"same bytes, new time", "abcd", false, true},
      {"same size and time, other bytes: the change time moved", "wxyz", true, false},
      {"same size, other bytes, new time", "wxyz", false, false},
      {"other size, same time", "abcde", true, false},
  };
  for (const bool older : {false, true}) {  // a record without change time and inode
    for (const auto& c : cases) {
      WriteFile(path, "abcd");
      SetTime(path, 1000);
      TFileRecord rec{"f", StampOf(path), c.bytes ? *HashFile(path) : 1};
      if (older) rec.Stamp.CtimeNs = 0, rec.Stamp.Inode = 0, rec.Hash = HashBytes("abcd");
      if (c.bytes) {
        WriteFile(path, c.bytes);
        SetTime(path, c.sameTime ? 1000 : 2000);
      }
      EXPECT_EQ(VerifyFile(path, rec), c.expected) << c.what << older;
      if (c.expected) {
        EXPECT_EQ(rec.Stamp, StampOf(path)) << c.what;
      }
    }
  }
  TFileRecord gone{"g", {4, 0}, HashBytes("abcd")};
  EXPECT_FALSE(VerifyFile(d / "g", gone));
  EXPECT_EQ(StampOf(d.Path()).Size, -1);  // a folder is not a file
}

// Save, journal, a torn journal line, folding the journal in: nothing done is lost and no
// name is bent on the way (quotes, non-UTF-8 bytes).
TEST(BuildRecord, PartsSurviveAKillAtAnyLine) {
  TempDir d;
  TBuildRecord rec;
  for (const std::string name : {"a.jpg", "quote\"back\\slash.png", "\xff\xfe.gif", "ünï.jpg"}) {
    rec.Pictures[name] = Picture(name, 10, static_cast<int>(rec.Pictures.size()));
  }
  rec.Pictures["a.jpg"].Thumbnail = {};  // written by a later picture of the list
  rec.Pictures["a.jpg"].WebCopy = File("a.web.jpg", 9);
  rec.CatalogPages["page1.html"] = File("page1.html", 7);
  {
    TRecordWriter writer(d.Path(), kWholePart);
    writer.Open(nullptr);
    writer.Save(rec);
  }
  std::vector<std::string> warnings;
  auto parts = LoadRecordParts(d.Path(), warnings);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(parts[0].Name, "record");
  EXPECT_FALSE(parts[0].HasJournal);
  ExpectSame(parts[0].Record, rec);

  {
    TRecordWriter writer(d.Path(), kWholePart);
    writer.Open(&parts[0]);
    rec.Pictures["a.jpg"] = Picture("a.jpg", 20, 5);
    rec.Pictures["b.jpg"] = Picture("b.jpg", 21, 6);
    writer.Append(rec.Pictures["a.jpg"]);
    writer.Append(rec.Pictures["b.jpg"]);
    rec.CatalogPages["page2.html"] = File("page2.html", 8);
    writer.AppendCatalogPage(rec.CatalogPages["page2.html"]);
    // Killed while writing the next line.
    std::ofstream(d / ".folivant/record.journal", std::ios::app) << R"({"picture":{"name":"c.)";
  }
  parts = LoadRecordParts(d.Path(), warnings);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_TRUE(parts[0].HasJournal);
  ExpectSame(parts[0].Record, rec);
  EXPECT_TRUE(warnings.empty()) << warnings[0];

  TRecordWriter(d.Path(), kWholePart).Open(&parts[0]);  // folds the journal into the part
  EXPECT_FALSE(test::Exists(d / ".folivant/record.journal"));
  parts = LoadRecordParts(d.Path(), warnings);
  ExpectSame(parts.at(0).Record, rec);
}

// Parts of several machines: the newest entry of a picture wins; every file any of them made
// stays known; lines that cannot be used (names leaving the folder above all) are left out.
TEST(BuildRecord, PartsMergeAndHostileLinesAreLeftOut) {
  TempDir d;
  TBuildRecord one, two;
  one.Pictures["a.jpg"] = Picture("a.jpg", 10, 1);
  one.Pictures["b.jpg"] = Picture("b.jpg", 10, 2);
  two.Pictures["a.jpg"] = Picture("a.jpg", 20, 3);
  two.Pictures["c.jpg"] = Picture("c.jpg", 5, 4);
  TRecordWriter(d.Path(), SharePartName(1, 2)).Save(one);
  TRecordWriter(d.Path(), SharePartName(2, 2)).Save(two);
  std::string good = ReadFile(d / ".folivant/share-1-of-2.jsonl");
  const std::string line =
      good.substr(good.find('\n') + 1, good.find('\n', good.find('\n') + 1) - good.find('\n'));
  auto with = [&](const std::string& from, const std::string& to) {
    std::string l = line;
    l.replace(l.find(from), from.size(), to);
    return l;
  };
  const std::string hostile[] = {
      with(R"("name":"a.jpg")", R"("name":"../a.jpg")"),
      with(R"("name":"tna.jpg")", R"("name":"x/tna.jpg")"),
      with(R"("name":"a.jpg")", R"("name":"")"),
      with(R"("hash":")", R"("hash":"zz)"),
      with(R"("made":)", R"("made":1,"x":)"),
      with(R"("width":)", R"("width":"wide","w":)"),
      "{\"picture\":7}\n",
      "[not json\n",
  };
  for (const std::string& l : hostile) good += l;
  WriteFile(d / ".folivant/share-1-of-2.jsonl", good);
  WriteFile(d / ".folivant/other.jsonl",
            "{\"format\":\"folivant-build-record\",\"version\":2}\n" + line);

  std::vector<std::string> warnings;
  const auto parts = LoadRecordParts(d.Path(), warnings);
  ASSERT_EQ(parts.size(), 3u);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("another kind or version"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[1].find("8 damaged line(s)"), std::string::npos) << warnings[1];
  ExpectSame(parts[1].Record, one);

  const TMergedRecord merged = MergeParts(parts);
  EXPECT_EQ(merged.Pictures.size(), 3u);
  EXPECT_EQ(merged.Pictures.at("a.jpg")->When, 20);
  const auto made = MadeFiles(parts);
  EXPECT_EQ(made.count("tna.jpg"), 2u);  // both identities may be on disk
  EXPECT_EQ(made.count("a.jpg"), 0u);    // copies only where the build made them
  EXPECT_EQ(made.count("b.jpg"), 1u);
  EXPECT_EQ(made.count("page1.html"), 0u);
}

// Record files are never followed through links nor removed unless they are the build's own
// regular files; a journal gone between listing and reading (a share folding it) is skipped.
TEST(BuildRecord, LinksAreNeverFollowedAndVanishedJournalsSkipped) {
  TempDir d, elsewhere;
  std::filesystem::create_directories(d / ".folivant");
  WriteFile(elsewhere / "kept", "the user's");
  std::filesystem::create_symlink(elsewhere / "x", d / ".folivant/record.journal");
  std::filesystem::create_symlink(elsewhere / "kept", d / ".folivant/other.jsonl");
  std::vector<std::string> warnings;
  LoadRecordParts(d.Path(), warnings);
  ASSERT_EQ(warnings.size(), 2u);
  for (const std::string& w : warnings)
    EXPECT_TRUE(w.ends_with(": it is a link, not a regular file")) << w;
  TRecordWriter writer(d.Path(), kWholePart);
  EXPECT_THROW(writer.Open(nullptr), ERecordError);
  writer.RemovePart("other");
  EXPECT_EQ(ReadFile(d / ".folivant/other.jsonl"), "the user's");
  EXPECT_FALSE(test::Exists(elsewhere / "x"));

  for (const char* link : {"record.journal", "other.jsonl"})
    std::filesystem::remove(d / (std::string(".folivant/") + link));
  std::atomic<bool> done{false};
  std::thread share([&] {  // a share's journal, made and folded in
    const std::string journal = d / ".folivant/share-1-of-2.journal";
    while (!done) WriteFile(journal, ""), std::filesystem::remove(journal);
  });
  warnings.clear();
  for (int i = 0; i < 5000; ++i) LoadRecordParts(d.Path(), warnings);
  done = true;
  share.join();
  EXPECT_TRUE(warnings.empty()) << warnings[0];
}

}  // namespace
}  // namespace folivant
