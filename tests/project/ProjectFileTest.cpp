// Project files: the bytes a save writes, save/load/save round trips, and the
// damaged files a load refuses without touching the open project.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "imaging/formats/BmpCodec.h"
#include "support/ScratchFolder.h"
#include "project/ProjectFile.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;

uint32_t U32At(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(bytes[offset + i])) << (8 * i);
  return v;
}

void PutU32At(std::string& bytes, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = char(v >> (8 * i));
}

// File offset of a record field: the record follows the 4-byte RecordLength.
constexpr size_t Field(size_t recordOffset) { return 4 + recordOffset; }

// A 48 x 48 project of 32-pixel cells with a patterned picture, list and tables.
std::unique_ptr<Engine> MakeProject(int pictureWidth, int pictureHeight, std::vector<std::string> names) {
  auto engine = std::make_unique<Engine>();
  engine->Project = DefaultProject();
  engine->Project.MainImageFile = "/photos/main.jpg";
  engine->Project.StitchMode = kStitchBrick;
  engine->Project.LimitRepeat = true;
  EXPECT_TRUE(engine->MainBitmap.SetSize(pictureWidth, pictureHeight).ok());
  for (int y = 0; y < pictureHeight; ++y)
    for (int x = 0; x < pictureWidth; ++x)
      engine->MainBitmap.Pixel(x, y) = Color32(uint8_t(x), uint8_t(y), uint8_t(x ^ y));
  engine->PicList.Assign(std::move(names));
  for (int k = 0; k < 5; ++k) {
    engine->Library[k].Signature.Slot[sigMean].Red = uint8_t(10 + k);
    engine->Library[k].UseCount = 100 + k;
  }
  engine->Library[65535].UseCount = -7;  // entries past the list are stored as they stand
  engine->Map.Clear();
  for (int x = 0; x < 48; ++x)
    for (int y = 0; y < 48; ++y) {
      CellMapEntry& e = engine->Map.At(x, y);
      e.PicIndex = (x + y) % 3;
      e.DeltaRed = x - y;
      e.DeltaGreen = -x;
      e.DeltaBlue = y;
      e.Assigned = true;
      e.HFlip = (x & 1) != 0;
      e.VFlip = (y & 1) != 0;
    }
  engine->Map.At(799, 799).DeltaBlue = 12345;
  return engine;
}

constexpr uint32_t kPictureBytesOf8x8 = 54 + 4 * 8 * 8;

std::vector<std::string> ThreeNames() {
  return {"/pictures/aaaaa1.jpg", "/pictures/bbbbb2.jpg", "/pictures/ccccc3.bmp"};  // 20 bytes each
}

TEST(ProjectFile, ExampleProjectHasTheDocumentedSizeAndLayout) {
  ScratchFolder dir;
  const auto engine = MakeProject(1024, 768, ThreeNames());
  const std::string path = dir / "example.vm6";
  ASSERT_TRUE(SaveProjectFile(*engine, path).ok());

  const std::string bytes = ReadWholeFile(path);
  ASSERT_EQ(bytes.size(), 17781004u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x90\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(U32At(bytes, Field(136)), 3145782u);  // 54 + 4 x 1024 x 768
  EXPECT_EQ(U32At(bytes, Field(140)), 66u);
  EXPECT_EQ(bytes.substr(148, 2), "BM");

  const auto bmp = EncodeBmp32(engine->MainBitmap);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 148, bmp.data(), bmp.size()));
  EXPECT_EQ(bytes.substr(148 + 3145782, 66),
            "/pictures/aaaaa1.jpg\r\n/pictures/bbbbb2.jpg\r\n/pictures/ccccc3.bmp\r\n");

  // The save leaves the open project as it was.
  EXPECT_EQ(engine->Project.MainImageDataSize, 0);
  EXPECT_EQ(engine->Project.MainImageFile, "/photos/main.jpg");
}

TEST(ProjectFile, SaveLoadSaveIsByteForByte) {
  ScratchFolder dir;
  const auto original = MakeProject(37, 21, ThreeNames());
  ASSERT_TRUE(SaveProjectFile(*original, dir / "first.vm6").ok());

  Engine loaded;
  ASSERT_TRUE(LoadProjectFile(loaded, dir / "first.vm6").ok());
  EXPECT_EQ(loaded.Project.MainImageFile, "");
  EXPECT_EQ(loaded.Project.StitchMode, kStitchBrick);
  EXPECT_TRUE(loaded.Project.LimitRepeat);
  EXPECT_EQ(loaded.PicList.Paths(), ThreeNames());
  ASSERT_EQ(loaded.MainBitmap.Width(), 37);
  ASSERT_EQ(loaded.MainBitmap.Height(), 21);
  EXPECT_TRUE(std::equal(loaded.MainBitmap.Pixels().begin(), loaded.MainBitmap.Pixels().end(),
                         original->MainBitmap.Pixels().begin()));
  EXPECT_EQ(loaded.Library[3].UseCount, 103);
  EXPECT_EQ(loaded.Library[65535].UseCount, -7);
  EXPECT_EQ(loaded.Map.At(5, 7).DeltaRed, -2);
  EXPECT_TRUE(loaded.Map.At(5, 7).HFlip);
  EXPECT_EQ(loaded.Map.At(799, 799).DeltaBlue, 12345);

  ASSERT_TRUE(SaveProjectFile(loaded, dir / "second.vm6").ok());
  EXPECT_TRUE(ReadWholeFile(dir / "first.vm6") == ReadWholeFile(dir / "second.vm6"));
}

TEST(ProjectFile, SelfMosaicWithAnEmptyListStoresNoListBytes) {
  ScratchFolder dir;
  auto engine = MakeProject(16, 16, {});
  engine->Project.RenderMode = kRenderSelf;
  engine->Map.Clear();
  ASSERT_TRUE(SaveProjectFile(*engine, dir / "self.vm6").ok());
  const std::string bytes = ReadWholeFile(dir / "self.vm6");
  EXPECT_EQ(U32At(bytes, Field(140)), 0u);
  EXPECT_EQ(bytes.size(), ProjectFileSize(54 + 4 * 16 * 16, 0));

  Engine loaded;
  loaded.PicList.Append("/left/over.jpg");
  ASSERT_TRUE(LoadProjectFile(loaded, dir / "self.vm6").ok());
  EXPECT_TRUE(loaded.PicList.Empty());
  EXPECT_EQ(loaded.Project.RenderMode, kRenderSelf);
  for (int x = 0; x < 48; ++x)
    for (int y = 0; y < 48; ++y) ASSERT_EQ(loaded.Map.At(x, y).PicIndex, -1);
}

TEST(ProjectFile, EmptyMainPictureIsAnEmptyPart) {
  ScratchFolder dir;
  auto engine = MakeProject(0, 0, ThreeNames());
  ASSERT_TRUE(SaveProjectFile(*engine, dir / "nopicture.vm6").ok());
  EXPECT_EQ(U32At(ReadWholeFile(dir / "nopicture.vm6"), Field(136)), 0u);
  Engine loaded;
  ASSERT_TRUE(loaded.MainBitmap.SetSize(3, 3).ok());
  ASSERT_TRUE(LoadProjectFile(loaded, dir / "nopicture.vm6").ok());
  EXPECT_TRUE(loaded.MainBitmap.Empty());
  EXPECT_EQ(loaded.PicList.Paths(), ThreeNames());
}

TEST(ProjectFile, ExtensionBlocksRoundTripAndDamagedOnesAreLeftOut) {
  ScratchFolder dir;
  const auto engine = MakeProject(8, 8, ThreeNames());
  const std::vector<ExtensionBlock> blocks = {{"PENS", 2, {1, 2, 3}}, {"ZERO", 1, {}}, {"LAST", 7, {9}}};
  ASSERT_TRUE(SaveProjectFile(*engine, dir / "ext.vm6", blocks).ok());
  ASSERT_TRUE(SaveProjectFile(*engine, dir / "plain.vm6").ok());
  const std::string plain = ReadWholeFile(dir / "plain.vm6");
  const std::string extended = ReadWholeFile(dir / "ext.vm6");
  EXPECT_EQ(plain.size(), ProjectFileSize(kPictureBytesOf8x8, 3 * 22));
  ASSERT_EQ(extended.substr(0, plain.size()), plain);  // the original bytes stay as they are

  Engine loaded;
  ExtensionArea area;
  ASSERT_TRUE(LoadProjectFile(loaded, dir / "ext.vm6", &area).ok());
  ASSERT_EQ(area.blocks.size(), 3u);
  EXPECT_TRUE(area.warnings.empty());
  ASSERT_NE(area.Find("PENS"), nullptr);
  EXPECT_EQ(area.Find("PENS")->version, 2);
  EXPECT_EQ(area.Find("PENS")->payload, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(area.Find("LAST")->payload, std::vector<uint8_t>{9});
  EXPECT_EQ(area.Find("NONE"), nullptr);

  // A flipped payload byte drops that block only; a cut-off block drops itself.
  std::string damaged = extended;
  damaged[plain.size() + 8 + 16] ^= 0x55;
  WriteWholeFile(dir / "crc.vm6", damaged);
  ASSERT_TRUE(LoadProjectFile(loaded, dir / "crc.vm6", &area).ok());
  EXPECT_EQ(area.Find("PENS"), nullptr);
  EXPECT_NE(area.Find("LAST"), nullptr);
  ASSERT_EQ(area.warnings.size(), 1u);
  EXPECT_NE(area.warnings[0].find("PENS"), std::string::npos) << area.warnings[0];

  WriteWholeFile(dir / "cut.vm6", extended.substr(0, extended.size() - 1));
  ASSERT_TRUE(LoadProjectFile(loaded, dir / "cut.vm6", &area).ok());
  EXPECT_NE(area.Find("PENS"), nullptr);
  EXPECT_EQ(area.Find("LAST"), nullptr);
  EXPECT_EQ(area.warnings.size(), 1u);
}

TEST(ProjectFile, RefusesAListEntryThatWouldSplitAndKeepsTheOldFile) {
  ScratchFolder dir;
  WriteWholeFile(dir / "keep.vm6", "previous");
  const auto engine = MakeProject(8, 8, {"/ok.jpg", "/bad\rname.jpg"});
  EXPECT_FALSE(SaveProjectFile(*engine, dir / "keep.vm6").ok());
  EXPECT_EQ(ReadWholeFile(dir / "keep.vm6"), "previous");
}

// A damaged copy of a good project file, and what its message must mention.
struct Damage {
  const char* name;
  void (*apply)(std::string& bytes);
  const char* mentions;
};

constexpr size_t kPictureAt = 148;
constexpr uint32_t kPictureBytes = kPictureBytesOf8x8;

const Damage kDamages[] = {
    {"RecordLength145", [](std::string& b) { PutU32At(b, 0, 145); }, "record length"},
    {"NegativePicturePart", [](std::string& b) { PutU32At(b, Field(136), uint32_t(-54)); }, "negative"},
    {"NegativeListPart", [](std::string& b) { PutU32At(b, Field(140), 0xFFFFFFFF); }, "negative"},
    {"PicturePartBeyondTheFile", [](std::string& b) { PutU32At(b, Field(136), 0x7FFFFFFF); }, "bytes"},
    {"ListPartBeyondTheFile", [](std::string& b) { PutU32At(b, Field(140), 20000000); }, "bytes"},
    {"CellsAcrossZero", [](std::string& b) { PutU32At(b, Field(52), 0); }, "across"},
    {"CellsAcross801", [](std::string& b) { PutU32At(b, Field(52), 801); }, "across"},
    {"CellsDown801", [](std::string& b) { PutU32At(b, Field(56), 801); }, "down"},
    {"FinalWidthDisagrees", [](std::string& b) { PutU32At(b, Field(8), 1535); }, "final size"},
    {"CellWidthZero",
     [](std::string& b) {
       PutU32At(b, Field(60), 0);
       PutU32At(b, Field(8), 0);
     },
     "cell size"},
    {"FinalSizeBeyondPictureLimit",
     [](std::string& b) {
       PutU32At(b, Field(52), 800);
       PutU32At(b, Field(56), 800);
       PutU32At(b, Field(60), 640);
       PutU32At(b, Field(64), 640);
       PutU32At(b, Field(8), 512000);
       PutU32At(b, Field(12), 512000);
     },
     "limit"},
    {"RenderModeUnknown", [](std::string& b) { PutU32At(b, Field(68), 3); }, "render mode"},
    {"StitchModeUnknown", [](std::string& b) { PutU32At(b, Field(72), 0); }, "stitch mode"},
    {"PicturePartNotABitmap", [](std::string& b) { b[kPictureAt] = 'X'; }, "not a Windows bitmap"},
    {"PicturePartCutShort",
     [](std::string& b) {
       // The picture part claims fewer bytes than its header describes.
       PutU32At(b, Field(136), kPictureBytes - 16);
       b.erase(kPictureAt + kPictureBytes - 16, 16);
     },
     "not a Windows bitmap"},
    {"EndsInsideTheCellMap", [](std::string& b) { b.resize(b.size() - 1); }, "bytes"},
    {"EndsInsideTheRecord", [](std::string& b) { b.resize(100); }, "record"},
    // A file longer than its record says: the tables would be read out of place.
    {"ListPartSetToZero", [](std::string& b) { PutU32At(b, Field(140), 0); }, "more than its record"},
    {"ListPartSetToOne", [](std::string& b) { PutU32At(b, Field(140), 1); }, "more than its record"},
    {"TrailingBytes", [](std::string& b) { b += "trailing"; }, "more than its record"},
};

class ProjectFileRefusal : public ::testing::TestWithParam<Damage> {
protected:
  static void SetUpTestSuite() {
    folder_ = new ScratchFolder;
    const auto engine = MakeProject(8, 8, ThreeNames());
    ASSERT_TRUE(SaveProjectFile(*engine, *folder_ / "good.vm6").ok());
    good_ = new std::string(ReadWholeFile(*folder_ / "good.vm6"));
  }
  static void TearDownTestSuite() {
    delete good_;
    delete folder_;
  }
  static inline ScratchFolder* folder_ = nullptr;
  static inline std::string* good_ = nullptr;
};

TEST_P(ProjectFileRefusal, RefusesWithAMessageAndLeavesTheOpenProjectAsItWas) {
  const Damage& damage = GetParam();
  std::string bytes = *good_;
  damage.apply(bytes);
  const std::string path = *folder_ / (std::string(damage.name) + ".vm6");
  WriteWholeFile(path, bytes);

  // The open project differs from the file in every part.
  Engine engine;
  engine.Project.MainImageFile = "/open/main.png";
  engine.Project.CellsAcross = 20;
  engine.Project.MaxRepeatTimes = 3;
  ASSERT_TRUE(engine.MainBitmap.SetSize(2, 1).ok());
  engine.MainBitmap.Fill(Color32(1, 2, 3));
  engine.PicList.Assign({"/open/one.jpg"});
  engine.Library[0].UseCount = 42;
  engine.Map.At(0, 0).PicIndex = 9;
  const auto recordBefore = WriteRecord(engine.Project);

  const Status status = LoadProjectFile(engine, path);
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(path), std::string::npos) << status.message();
  EXPECT_NE(status.message().find(damage.mentions), std::string::npos) << status.message();

  EXPECT_EQ(WriteRecord(engine.Project), recordBefore);
  EXPECT_EQ(engine.Project.MainImageFile, "/open/main.png");
  ASSERT_EQ(engine.MainBitmap.Width(), 2);
  EXPECT_EQ(engine.MainBitmap.Pixel(1, 0), Color32(1, 2, 3));
  EXPECT_EQ(engine.PicList.Paths(), std::vector<std::string>{"/open/one.jpg"});
  EXPECT_EQ(engine.Library[0].UseCount, 42);
  EXPECT_EQ(engine.Map.At(0, 0).PicIndex, 9);
}

INSTANTIATE_TEST_SUITE_P(ProjectFile, ProjectFileRefusal, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace velmora
