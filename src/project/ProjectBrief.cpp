// Building and saving the project brief.
#include "project/ProjectBrief.h"

#include <cstdint>
#include <span>

#include "quality/Advice.h"
#include "imaging/FileIO.h"

namespace velmora {
namespace {

// The file name without its folder.
std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void AddLine(std::string& text, const std::string& line) {
  text += line;
  text += "\r\n";
}

std::string Num(int64_t v) { return std::to_string(v); }

}  // namespace

std::string BuildProjectBrief(const tmosaicproject& p, int libraryCount) {
  std::string text;
  AddLine(text, "Project Brief");
  AddLine(text, "--------File Info--------");
  AddLine(text, "Source Image = " + FileNameOf(p.MainImageFile));
  AddLine(text, "Full Path = " + p.MainImageFile);
  AddLine(text, "Image Library " + Num(libraryCount) + " Files");
  AddLine(text, "--------Size Info --------");
  AddLine(text, "Cell Count : " + Num(p.CellsAcross) + " x " + Num(p.CellsDown) + " = " +
                    Num(int64_t(p.CellsAcross) * p.CellsDown) + " Cells");
  AddLine(text, "Cell Size : " + Num(p.CellWidth) + " x " + Num(p.CellHeight) + " Pixels");
  AddLine(text, "Final Size : " + Num(p.FinalWidth) + " x " + Num(p.FinalHeight) + " Pixels");
  AddLine(text, "--------Option Info--------");
  AddLine(text, "Minimum Repeat Radius = " + Num(p.MinRepeatRadius));
  if (p.LimitRepeat) AddLine(text, "Max Repeat time for each file = " + Num(p.MaxRepeatTimes));
  AddLine(text, "Randomize Level = " + Num(p.RandomizeLevel));
  AddLine(text, "Color Enhance = " + Num(p.ColorEnhance) + "%");
  AddLine(text, "Border Size = " + Num(p.BorderSize));
  AddLine(text, "Border Color = " + Num(p.BorderColor));
  return text;
}

std::string BuildProjectBrief(const Engine& engine) {
  std::string text = BuildProjectBrief(engine.Project, engine.PicList.Count());
  // The settings advice after the project's own lines; "!" marks advice the
  // settings do not follow.
  const SettingsAdvice advice = AdviseSettings(AdviceInputOf(engine, engine.Project));
  const std::vector<AdviceLine> lines = AdviceLines(advice);
  if (lines.empty()) return text;
  AddLine(text, "--------Advice--------");
  for (const AdviceLine& line : lines) AddLine(text, (line.Followed ? "" : "! ") + line.Text);
  AddLine(text, "Suggested settings: " + AdviceSummary(advice, engine.Project.CellsAcross));
  return text;
}

Status SaveProjectBrief(const std::string& text, const std::string& path) {
  return WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace velmora
