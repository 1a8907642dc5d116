// Prepare library: the summaries with their crop and grey options, the
// gauge, the first failing picture, thread counts and the scaled decode.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "library/CellPictures.h"
#include "library/ImageListFile.h"
#include "support/EngineTestSupport.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::Uniform;

TEST(PrepareLibrary, SummariesGaugeAndOptions) {
  testing::ScratchDir dir;
  Engine e;
  testing::SetGrid(e, 8, 8, 32, 32);
  e.Project.CropCell = false;
  testing::AddPicture(e, dir, Uniform(40, 30, Color32(200, 20, 10)));
  TBitmap32 halves = Uniform(64, 64, Color32(0, 0, 0));
  halves.FillRect(TRect{0, 0, 64, 32}, Color32(255, 0, 0));
  testing::AddPicture(e, dir, halves);
  TBitmap32 bands = Uniform(64, 64, Color32(0, 255, 0));  // green middle half, red above and below
  bands.FillRect(TRect{0, 0, 64, 16}, Color32(255, 0, 0));
  bands.FillRect(TRect{0, 48, 64, 64}, Color32(255, 0, 0));
  testing::AddPicture(e, dir, bands);
  e.Library[0].UseCount = 5;
  e.Library[3].UseCount = 9;  // beyond the list: left alone
  testing::JobRecorder job;
  e.SetListener(&job);
  ASSERT_TRUE(e.PrepareLibrary().ok());
  EXPECT_EQ(job.texts, std::vector<std::string>{"Current Job : Cell Pic Lib"});
  EXPECT_EQ(job.progress, (std::vector<int>{0, -1, 32, 65}));
  EXPECT_EQ(job.events, 3);
  for (const SigColor& s : e.Library[0].Signature.Slot) EXPECT_EQ(s, (SigColor{10, 20, 200, 72}));
  const ColorSignature& h = e.Library[1].Signature;
  EXPECT_EQ(h.Slot[sigTopRight], (SigColor{0, 0, 255, 76}));
  EXPECT_EQ(h.Slot[sigBottomLeft], (SigColor{0, 0, 0, 0}));
  EXPECT_EQ(h.Mean(), (SigColor{0, 0, 127, 38}));  // the greys averaged, not the grey of the mean (37)
  EXPECT_EQ(e.Library[0].UseCount, 0);
  EXPECT_EQ(e.Library[3].UseCount, 9);

  // Cells of 32 x 16 keep the central band of half the height; grey makes
  // every slot's channels equal.
  testing::SetGrid(e, 8, 8, 32, 16);
  e.Project.CropCell = true;
  ASSERT_TRUE(e.PrepareLibrary().ok());
  for (const SigColor& s : e.Library[2].Signature.Slot) EXPECT_TRUE(s.Green >= 250 && s.Red <= 5);
  e.Project.MonoCell = true;
  ASSERT_TRUE(e.PrepareLibrary().ok());
  for (const SigColor& s : e.Library[2].Signature.Slot) EXPECT_TRUE(s.Red == s.Green && s.Green == s.Blue);
}

TEST(PrepareLibrary, FirstFailingPictureStopsWithTheReadersMessage) {
  testing::ScratchDir dir;
  Engine setup;
  testing::AddPicture(setup, dir, Uniform(8, 8, Color32(50, 60, 70)));
  // A JPEG named .bmp would be read by its content; this one is no picture.
  { std::ofstream(dir.File("damaged.bmp")) << "BMnot a bitmap at all"; }
  // What phones write: a JPEG named .heic, which library photos read by content.
  std::filesystem::copy_file(testing::SamplePhotos(1)[0], dir.File("phone.heic"));
  TBitmap32 probe;
  const std::string missing = LoadPictureFile(probe, dir.File("missing.jpg")).message();
  ASSERT_FALSE(missing.empty());
  for (int threads : {1, 2, 4}) {
    Engine e;
    e.SetThreadCount(threads);
    std::vector<std::string> list(12, setup.PicList[0]);
    list[5] = dir.File("missing.jpg");
    list[8] = dir.File("damaged.bmp");
    e.PicList.Assign(list);
    const ColorSignature marker = testing::FlatSignature(1, 2, 3);
    for (int k = 0; k < 12; ++k) e.Library[k].Signature = marker;
    EXPECT_EQ(e.PrepareLibrary().message(), missing) << threads;
    for (int k = 0; k < 12; ++k) EXPECT_EQ(e.Library[k].Signature == marker, k >= 5) << threads << " " << k;
    e.PicList.Assign({list[0], list[8]});
    EXPECT_EQ(e.PrepareLibrary().message(), list[8] + ": Bitmap image is not valid");
    e.PicList.Assign({list[0], dir.File("phone.heic")});
    EXPECT_TRUE(e.PrepareLibrary().ok()) << threads;
  }
}

TEST(PrepareLibrary, SameSummariesWhateverTheThreadCount) {
  std::vector<ColorSignature> first;
  for (int threads : {1, 2, 3}) {
    Engine e;
    e.SetThreadCount(threads);
    e.PicList.Assign(testing::SamplePhotos());
    ASSERT_TRUE(e.PrepareLibrary().ok());
    for (int k = 0; k < e.PicList.Count(); ++k) {
      if (threads == 1) first.push_back(e.Library[k].Signature);
      ASSERT_EQ(e.Library[k].Signature, first[static_cast<size_t>(k)]) << threads << " " << k;
    }
  }
  EXPECT_GE(first.size(), 50u);
}

// The reduced JPEG decode must summarise as the full one does, within 3 in
// every byte, for the cell shapes the program offers.
TEST(PrepareLibrary, ScaledDecodeSummaryStaysWithinThreeOfTheFullDecode) {
  struct Shape {
    int cw, ch;
    bool crop;
  };
  int scaled = 0;
  for (const Shape s : {Shape{32, 32, true}, Shape{32, 32, false}, Shape{64, 16, true}, Shape{8, 40, true}}) {
    for (const std::string& path : testing::SamplePhotos()) {
      TBitmap32 full, reduced;
      ASSERT_TRUE(LoadPictureFile(full, path).ok());
      ASSERT_TRUE(LoadPictureFile(reduced, path, SummaryDecodeHints(s.cw, s.ch, s.crop)).ok());
      scaled += reduced.Width() < full.Width();
      const auto a = SummarizeCellPicture(full, s.cw, s.ch, s.crop, false).Bytes();
      const auto b = SummarizeCellPicture(reduced, s.cw, s.ch, s.crop, false).Bytes();
      for (size_t i = 0; i < a.size(); ++i) ASSERT_LE(std::abs(a[i] - b[i]), 3) << path << " byte " << i;
    }
  }
  EXPECT_GT(scaled, 200);  // most sample photos really were decoded reduced
}

// Eight threads share one budget of bytes in flight: whatever the thread
// count, no more than the budget (plus one picture and its working copy) is
// decoded at once, and the summaries are those of a one-thread run.
TEST(PrepareLibrary, ThreadsShareOneMemoryBudget) {
  testing::ScratchDir dir;
  Engine e;
  for (int i = 0; i < 24; ++i) testing::AddPicture(e, dir, Uniform(64, 64, Color32(uint8_t(i * 10), 20, 30)));
  e.SetThreadCount(1);
  ASSERT_TRUE(e.PrepareLibrary().ok());
  std::vector<ColorSignature> alone;
  for (int k = 0; k < 24; ++k) alone.push_back(e.Library[k].Signature);

  constexpr int64_t kPicture = 64 * 64 * 4;
  e.SetThreadCount(8);
  e.SetMemoryBudget(2 * kPicture + kPicture / 2);
  ASSERT_TRUE(e.PrepareLibrary().ok());
  for (int k = 0; k < 24; ++k) EXPECT_EQ(e.Library[k].Signature, alone[static_cast<size_t>(k)]) << k;
  EXPECT_GE(e.Budget().Peak(), kPicture);
  // The oldest holder may go past the budget once its file's bytes are held:
  // by its picture and the picture's cropped copy, never more.
  EXPECT_LE(e.Budget().Peak(), e.Budget().Capacity() + kPicture + 65 * 65 * 4);
  EXPECT_EQ(e.Budget().InUse(), 0);

  // A picture that alone is over the budget stops the job, named (a bitmap
  // file is refused by its length, before it is read).
  e.SetMemoryBudget(kPicture / 2);
  const std::string refused = e.PrepareLibrary().message();
  EXPECT_EQ(refused.rfind(e.PicList[0] + ": Cannot load image. ", 0), 0u) << refused;
  EXPECT_NE(refused.find("more than the memory budget"), std::string::npos) << refused;
}

// The messages that stop the job name the file: the picture itself, or the
// list and its line when the entry has no name.
TEST(PrepareLibrary, UnreadablePictureOrEmptyLineIsNamed) {
  testing::ScratchDir dir;
  Engine e;
  testing::AddPicture(e, dir, Uniform(8, 8, Color32(50, 60, 70)));
  const std::string damaged = dir.File("damaged.jpg");
  std::filesystem::copy_file(testing::SamplePhotos(1)[0], damaged);
  std::filesystem::resize_file(damaged, 100);  // the header ends before the frame
  const std::string list = dir.File("list.IL2");
  testing::WriteWholeFile(list, e.PicList[0] + "\r\n\r\n" + damaged + "\r\n");
  ASSERT_TRUE(ReadImageListFile(list, e.PicList).ok());
  EXPECT_EQ(e.PrepareLibrary().message(), list + ": line 2 is empty, so it names no library picture.");
  e.PicList.Delete(1);
  const std::string message = e.PrepareLibrary().message();
  EXPECT_EQ(message.rfind(damaged + ": JPEG error: ", 0), 0u) << message;
  EXPECT_EQ(message.find('#'), std::string::npos) << message;
}
// A cancel keeps what was summarised before it in the summary cache: the
// next run decodes only the rest, counting in words as it goes.
TEST(PrepareLibrary, CancelKeepsTheSummariesMadeBeforeItInTheCache) {
  testing::ScratchDir dir;
  Engine setup;
  for (int k = 0; k < 10; ++k)
    testing::AddPicture(setup, dir, Uniform(16, 12, Color32(uint8_t(k * 25), 100, uint8_t(250 - k * 20))));
  std::vector<std::string> list;
  for (int k = 0; k < 10; ++k) list.push_back(setup.PicList[k]);
  Engine plain;
  plain.PicList.Assign(list);
  testing::SetGrid(plain, 8, 8, 32, 32);
  ASSERT_TRUE(plain.PrepareLibrary().ok());

  // Cancel comes with the fifth report: the gauge's 0, then pictures 0..3.
  struct CancelAtReport : testing::JobRecorder {
    size_t at = 5;
    bool CancelRequested() override { return progress.size() >= at; }
  };
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    const std::string cache = dir.File("cache-" + std::to_string(threads));
    auto prepare = [&](Engine& e) {
      e.SetThreadCount(threads);
      e.PicList.Assign(list);
      testing::SetGrid(e, 8, 8, 32, 32);
      e.SetSummaryCacheFolder(cache);
    };
    {
      Engine e;
      prepare(e);
      CancelAtReport job;
      e.SetListener(&job);
      EXPECT_EQ(e.PrepareLibrary().message(), kJobCancelled);
      EXPECT_EQ(job.texts.back(), kJobCancelledText);
    }
    Engine again;
    prepare(again);
    testing::ReadCounter counter;
    again.SetPictureLoader(counter.Loader());
    testing::JobRecorder job;
    again.SetListener(&job);
    ASSERT_TRUE(again.PrepareLibrary().ok());
    for (int k = 0; k < 10; ++k) {
      EXPECT_EQ(counter.reads.count(list[size_t(k)]), k < 4 ? 0u : 1u) << k;
      EXPECT_EQ(again.Library[k].Signature, plain.Library[k].Signature) << k;
    }
    ASSERT_FALSE(job.details.empty());
    EXPECT_EQ(job.details.front(), "Summarising 1 of 10 photos");
    EXPECT_EQ(job.details.back(), "");  // cleared when the step ends
  }
}
}  // namespace
}  // namespace velmora
