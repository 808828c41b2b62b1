#include "fuzz_support.h"
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include "core/dialog_model.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/peak_model.h"
#include "core/text_file.h"

void FuzzUi::ShowModal(TForm2& form) {
  if (!Remaining().empty()) {
    ScriptedUi::ShowModal(form);
    return;
  }
  const bool ok = dialogsOk && ++defaults_ <= 200;
  transcript.push_back("DIALOG: " + form.caption + (ok ? " -> OK (default)" : " -> Cancel (default)"));
  if (ok)
    form.Button1Click();
  else
    form.Button2Click();
}

bool FuzzUi::AskYesNo(const std::string& text, MsgKind kind) {
  if (PendingAnswers() > 0) return ScriptedUi::AskYesNo(text, kind);
  bool yes = answerYes && ++yesGiven_ <= yesLimit;
  for (const std::string& part : answerNoTo)
    if (text.find(part) != std::string::npos) yes = false;
  transcript.push_back("ASK: " + text + (yes ? " -> Yes (default)" : " -> No (default)"));
  return yes;
}

const std::string& FuzzDir() {
  static const std::string dir = [] {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    const std::filesystem::path d = base / ("vkest_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d.string();
  }();
  return dir;
}

void FuzzSetUp() {
  WorkDir = FuzzDir();
  for (int32_t s = 0; s <= 4; ++s) SpectrumList[s] = std::make_unique<TSpectrum>("DUMMY");
  CurrentSpectrum = 1;
  for (int32_t k = 1; k <= PeakModelCount; ++k) PeakModels[k] = std::make_unique<TPeakModel>();
  CreateFitParameters();
  LogFile.RewriteToMemory("log");
  // The folder goes with the process.
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(FuzzDir(), ec);
  });
}

void FuzzCopyData(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file())
      std::filesystem::copy_file(entry.path(), std::filesystem::path(FuzzDir()) / entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
}

std::string FuzzFile(const uint8_t* data, size_t size, const std::string& name) {
  const std::string path = FuzzDir() + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                static_cast<std::streamsize>(size));
  return path;
}

void FuzzEnterFolder() {
  static const bool entered = (std::filesystem::current_path(FuzzDir()), true);
  (void)entered;
}

void FuzzClearLog() {
  LogFile.Close();
  LogFile.RewriteToMemory("log");
}

uint64_t SpectrumChecksum(const TSpectrum& sp) {
  uint64_t h = Checksum(sp.Y, sizeof sp.Y);
  h = Checksum(sp.E, sizeof sp.E, h);
  h = Checksum(sp.X, sizeof sp.X, h);
  for (int32_t v : {sp.FirstChannel, sp.LastChannel, sp.WorkFirst, sp.WorkLast, sp.AxisKind}) h = ChecksumOf(v, h);
  for (double v : {sp.Ymax, sp.Ymin, sp.XFirst, sp.XLast, sp.XStep, sp.ChannelOffset, sp.ChannelsPerX})
    h = ChecksumOf(v, h);
  return h;
}

TSpectrum& FreshSpectrum(int32_t i) {
  TSpectrum* sp = SpectrumList[i].get();
  sp->~TSpectrum();
  return *new (sp) TSpectrum("DUMMY");
}

void FuzzFail(const std::string& what) {
  std::fprintf(stderr, "==fuzz== invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void CheckSpectrumFinite(const TSpectrum& sp, int32_t first, int32_t last, const std::string& what) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  for (int32_t c = first; c <= last; ++c)
    if (!std::isfinite(sp.Y[c]) || !std::isfinite(sp.E[c]) || !std::isfinite(sp.X[c]))
      FuzzFail(what + ": channel " + std::to_string(c) + " not finite");
}
