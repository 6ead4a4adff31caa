#include "charts/display_list.h"

#include <cstdlib>
#include <string_view>

#include "base/text.h"

namespace kovo {
namespace {

uint32_t Hex(std::string_view v, uint32_t fallback) {
  if (v.empty() || v.size() > 8) return fallback;
  uint32_t out = 0;
  for (char c : v) {
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (d < 0) return fallback;
    out = out * 16 + static_cast<uint32_t>(d);
  }
  return out;
}

}  // namespace

std::vector<sTextRun> ParseMarkup(const std::string& markup, uint32_t defaultColor) {
  std::vector<sTextRun> runs;
  std::vector<uint32_t> colors{defaultColor};
  std::vector<bool> bolds{false};
  bool pendingBreak = false;
  std::string text;
  auto flush = [&] {
    if (text.empty()) return;
    sTextRun r;
    r.text = std::move(text);
    r.color = colors.back();
    r.bold = bolds.back();
    r.lineBreak = pendingBreak;
    pendingBreak = false;
    runs.push_back(std::move(r));
    text.clear();
  };
  size_t i = 0;
  while (i < markup.size()) {
    const size_t open = markup.find("<*", i);
    const size_t close = open == std::string::npos ? open : markup.find("*>", open + 2);
    if (open == std::string::npos || close == std::string::npos) {
      text += markup.substr(i);
      break;
    }
    text += markup.substr(i, open - i);
    const std::string tag = markup.substr(open + 2, close - open - 2);
    i = close + 2;
    const std::vector<std::string> parts = Tokenize(tag, ",", TokenTrim::kYes);
    if (parts.empty()) continue;
    const std::string& head = parts[0];
    if (head == "br") {
      flush();
      pendingBreak = true;
    } else if (head == "font" || head.starts_with("font=")) {
      flush();
      uint32_t color = colors.back();
      bool bold = bolds.back() || head.find("bd") != std::string::npos;
      for (const auto& p : parts)
        if (p.starts_with("color=")) color = Hex(std::string_view(p).substr(6), color);
      colors.push_back(color);
      bolds.push_back(bold);
    } else if (head == "/font") {
      flush();
      if (colors.size() > 1) colors.pop_back(), bolds.pop_back();
    } else if (head.starts_with("img=@")) {
      flush();
      sTextRun r;
      const std::string_view shape = std::string_view(head).substr(5);
      r.shape = shape == "triangle"           ? sTextRun::Shape::kTriangle
                : shape == "invertedtriangle" ? sTextRun::Shape::kInvertedTriangle
                                              : sTextRun::Shape::kSquare;
      r.color = colors.back();
      r.shapeWidth = 8;
      for (const auto& p : parts) {
        if (p.starts_with("color=")) r.color = Hex(std::string_view(p).substr(6), r.color);
        if (p.starts_with("edgeColor="))
          r.edgeColor = Hex(std::string_view(p).substr(10), r.edgeColor);
        if (p.starts_with("width=")) r.shapeWidth = std::atoi(p.c_str() + 6);
      }
      r.lineBreak = pendingBreak;
      pendingBreak = false;
      runs.push_back(std::move(r));
    } else {
      flush();  // block boundaries only split runs
    }
  }
  flush();
  return runs;
}

}  // namespace kovo
