// Folder trees as albums: which folders are albums, what their pages add, the date order, and
// rebuilds of a changing tree that equal fresh builds.
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <numeric>

#include <gtest/gtest.h>

#include "../common/pictures.h"
#include "../common/test_files.h"
#include "catalog/albums/album_tree.h"
#include "catalog/engine/album_build.h"
#include "catalog/engine/target_files.h"
#include "catalog/page_writer.h"

namespace folivant::test {
namespace {
namespace fs = std::filesystem;
using Byte = std::uint8_t;

std::vector<std::string> Rels(const TAlbumTree& tree) {
  std::vector<std::string> rels;
  for (const TAlbum& a : tree.Albums) rels.push_back(a.Rel + ":" + std::to_string(a.Total));
  return rels;
}

// Hidden folders, folders without pictures and the target inside are no albums; a folder
// reached again through a link is left out; a link back up is refused by name.
TEST(AlbumTree, FoldersThatAreAlbums) {
  TempDir src;
  for (const char* dir : {"b/c", ".hidden", "empty/deeper", "out"})
    fs::create_directories(src / dir);
  for (const char* pic : {"a.jpg", "b/x.jpg", "b/c/y.jpg", ".hidden/z.jpg", "out/q.jpg"}) {
    WriteJpeg(src / pic, 8, 8);
  }
  WriteFile(src / "b/album.txt", "\xEF\xBB\xBFTitle <b>\r\nline 1\nline 2\n\n");
  fs::create_directory_symlink(src / "b/c", src / "link");
  TAlbumTree tree;
  std::string error;
  ASSERT_TRUE(ScanAlbumTree({src.Path()}, src / "out", TAlbumSort::Name, tree, error)) << error;
  EXPECT_EQ(Rels(tree), (std::vector<std::string>{"b/c:1", "b:2", ":3"}));
  EXPECT_EQ(tree.Albums[1].Title, "Title <b>");
  EXPECT_EQ(tree.Albums[1].Description, "line 1\nline 2");
  ASSERT_EQ(tree.Warnings.size(), 1u);
  EXPECT_NE(tree.Warnings[0].find(src / "link"), std::string::npos);

  fs::create_directory_symlink(src / "b", src / "b/c/up");
  EXPECT_FALSE(ScanAlbumTree({src.Path()}, src / "out", TAlbumSort::Name, tree, error));
  EXPECT_EQ(error, "the folder " + (src / "b/c/up") + " leads back to " + (src / "b") +
                       " (a loop of links); remove the link or leave it out");
  fs::remove(src / "b/c/up");
  fs::create_directory(src / "b/page2.html");  // would take the name of a catalog page
  WriteJpeg(src / "b/page2.html/w.jpg", 8, 8);
  EXPECT_FALSE(ScanAlbumTree({src.Path()}, src / "out", TAlbumSort::Name, tree, error));
  EXPECT_NE(error.find("page2.html has the name of a file its album writes"), std::string::npos);
}

// An EXIF block (TIFF, little-endian) with DateTimeOriginal and, when given, its offset.
Bytes ExifWithDate(const std::string& when, const std::string& offset) {
  Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0};  // header; IFD0 of one entry at 8
  auto put16 = [&](int v) { b.insert(b.end(), {Byte(v), Byte(v >> 8)}); };
  auto put32 = [&](int v) { put16(v), put16(v >> 16); };
  put16(0x8769), put16(4), put32(1), put32(26), put32(0);  // Exif IFD at 26
  const int count = offset.empty() ? 1 : 2, data = 26 + 2 + 12 * count + 4;
  put16(count);
  put16(0x9003), put16(2), put32(20), put32(data);
  if (count == 2) put16(0x9011), put16(2), put32(7), put32(data + 20);
  put32(0);
  b.insert(b.end(), when.begin(), when.end()), b.push_back(0);
  if (count == 2) b.insert(b.end(), offset.begin(), offset.end()), b.push_back(0);
  return b;
}

// The time taken: from a JPEG's APP1 or a PNG's eXIf, with its offset; else the file's time.
TEST(AlbumTree, PictureDates) {
  TempDir dir;
  const std::int64_t day = 18263LL * 86400;  // 2020-01-02 is day 18263 since 1970
  const std::int64_t at = (day + 3 * 3600 + 4 * 60 + 5) * 1'000'000'000;
  Bytes jpeg = MakeJpeg(8, 8, false), app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  const Bytes exif = ExifWithDate("2020:01:02 03:04:05", "+02:00");
  app1.insert(app1.end(), exif.begin(), exif.end());
  app1[2] = Byte((app1.size() - 2) >> 8), app1[3] = Byte(app1.size() - 2);
  jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
  WriteBytes(dir / "a.jpg", jpeg);
  EXPECT_EQ(PictureDate(dir / "a.jpg"), at - 7200LL * 1'000'000'000);
  Bytes png = MakePng(8, 8, 8, 8), chunk;
  PutChunk(chunk, "eXIf", ExifWithDate("2020:01:02 03:04:05", ""));
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());
  WriteBytes(dir / "b.png", png);
  EXPECT_EQ(PictureDate(dir / "b.png"), at);
  WriteJpeg(dir / "c.jpg", 8, 8);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "c.jpg").c_str(), &st), 0);
  EXPECT_EQ(PictureDate(dir / "c.jpg"), st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec);
}

// The way up, the album's text as text, and the sub-albums with their links encoded.
TEST(AlbumPage, CatalogPageOfAnAlbum) {
  TAlbumPage album{{"2024", "a&b"}, "T <i>", "x\r\ny", {{"c d", "c d/tnx.jpg", "9", "7", 3}}};
  TLines lines;
  BuildCatalogPage(CatalogOptions(), {}, 1, lines, &album);
  const std::string page = JoinLinesCrLf(lines);
  for (const char* part :
       {"<p align=\"center\"><a href=\"../../page1.html\">Catalog</a> / <a "
        "href=\"../page1.html\">2024</a> / a&amp;b</p>\r\n<p><font size=\"3\"><b>T &lt;i&gt;</b>",
        "<p>x<br>y</p>", "<title>Page 1 of 1</title>",
        "<td><div align=\"center\"><a href=\"c%20d/page1.html\"><img src=\"c%20d/tnx.jpg\" "
        "width=\"9\" height=\"7\" border=\"0\" align=\"absmiddle\" alt=\"c d\"></a><br><a "
        "href=\"c%20d/page1.html\">c d</a> (3)</div></td>"}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
}

// Every file below dir (the build records left out) by path, with a hash of its bytes.
std::map<std::string, std::size_t> Tree(const std::string& dir) {
  std::map<std::string, std::size_t> files;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path().filename() == kRecordFolder) {
      it.disable_recursion_pending();
    } else if (it->is_regular_file()) {
      files[fs::relative(it->path(), dir).string()] =
          std::hash<std::string>()(ReadFile(it->path().string()));
    }
  }
  return files;
}

class AlbumBuild : public ::testing::Test {
 protected:
  void SetUp() override { InstallCodecs(); }
  TBuildResult Build(const std::string& target, int share = 0, int shares = 0,
                     bool pagesOnly = false, IBuildObserver* observer = nullptr) {
    TAlbumTree tree;
    std::string error;
    EXPECT_TRUE(ScanAlbumTree({src.Path()}, target, TAlbumSort::Name, tree, error)) << error;
    TBuildRequest request;
    request.Options.TargetDir = target;
    request.Options.ShowInBrowser = false;
    request.CreateTarget = true;
    request.Jobs = 2;
    request.Share = share;
    request.Shares = shares;
    request.PagesOnly = pagesOnly;
    TBuildEngine engine;
    IBuildObserver none;
    return RunAlbumTree(engine, request, tree, observer ? *observer : none);
  }
  void Picture(const std::string& rel, int seed) {
    fs::create_directories(fs::path(src / rel).parent_path());
    WriteJpeg(src / rel, 24, 16, seed);
  }
  TempDir src, out;
};

// A tree changed step by step (folders added, renamed and removed, pictures moved between
// folders and changed, an album text added) is rebuilt in one target: after each step it
// equals a fresh build of the tree, file for file, and a rebuild of an unchanged tree reuses
// every picture and writes nothing. Shares and pages-only give the same files too.
TEST_F(AlbumBuild, RebuildsOfAChangingTreeEqualFreshBuilds) {
  Picture("top.jpg", 1), Picture("2024/a.jpg", 2), Picture("2024/hol/b.jpg", 3);
  Picture("2024/hol/c.jpg", 4), Picture("phone/100/d.jpg", 5);
  // Each step, and the copies it leaves (a picture gone from the tree may have no other copy).
  const std::pair<std::function<void()>, std::vector<std::string>> steps[] = {
      {[] {}, {}},
      {[&] { Picture("2024/hol/deep/e.jpg", 6); }, {}},
      {[&] { fs::rename(src / "phone", src / "cam"); }, {}},
      {[&] { fs::rename(src / "2024/hol/b.jpg", src / "cam/100/b.jpg"); }, {}},
      {[&] { fs::remove_all(src / "2024/hol"); }, {"2024/hol/c.jpg", "2024/hol/deep/e.jpg"}},
      {[&] { Picture("2024/a.jpg", 7), WriteFile(src / "2024/album.txt", "Year\n<2024>"); }, {}},
  };
  for (const auto& [step, kept] : steps) {
    step();
    ASSERT_EQ(Build(out.Path()).Outcome, TBuildOutcome::boDone);
    TempDir fresh;
    ASSERT_EQ(Build(fresh.Path()).Outcome, TBuildOutcome::boDone);
    auto built = Tree(out.Path());
    for (const std::string& copy : kept) {
      EXPECT_EQ(built.erase(copy), 1u) << copy;
      fs::remove(out / copy);
    }
    ASSERT_EQ(built, Tree(fresh.Path()));
  }
  struct stat before {
  }, after{};
  ::stat((out / "2024/page1.html").c_str(), &before);
  const TBuildResult again = Build(out.Path());
  ::stat((out / "2024/page1.html").c_str(), &after);
  EXPECT_EQ(again.PicturesReused, again.PicturesDone);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);

  TempDir shared;
  for (int share = 1; share <= 2; ++share) {
    ASSERT_EQ(Build(shared.Path(), share, 2).Outcome, TBuildOutcome::boDone);
  }
  ASSERT_EQ(Build(shared.Path(), 0, 0, true).Outcome, TBuildOutcome::boDone);
  EXPECT_EQ(Tree(shared.Path()), Tree(out.Path()));
}

// Albums built two at a time report as one after another would: every picture done once, in
// the order of the tree, and the end once.
TEST_F(AlbumBuild, ReportsComeInTheOrderOfTheTree) {
  for (int i = 0; i < 12; ++i)
    Picture("f" + std::to_string(i % 4) + "/p" + std::to_string(i) + ".jpg", i);
  struct Recorder : IBuildObserver {
    std::mutex mutex;
    std::vector<int> done;
    int ended = 0;
    void PictureDone(int index) override {
      std::lock_guard lock(mutex);
      done.push_back(index);
    }
    void Ended() override { ++ended; }
  } recorder;
  ASSERT_EQ(Build(out.Path(), 0, 0, false, &recorder).Outcome, TBuildOutcome::boDone);
  std::vector<int> order(12);
  std::iota(order.begin(), order.end(), 0);
  EXPECT_EQ(recorder.done, order);
  EXPECT_EQ(recorder.ended, 1);
}

}  // namespace
}  // namespace folivant::test
