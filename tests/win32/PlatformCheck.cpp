// Checks the Win32 platform under Wine: files opened with open-mode words and
// their sharing rules, transfers at offsets, truncation, the whole-file
// operations, Windows error codes in the I/O errors, and number and date
// texts read with the regional settings.
//
//   velmora_win32_platform us|de|ja
// names the regional settings the process runs with (Wine takes them from
// LC_ALL): United States, German or Japanese.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <velmora/velmora.hpp>

#include "ClientSupport.h"
#include "platform/Platform.h"

using client::Checks;
using velmora::platform::File;
using velmora::platform::Os;

namespace {

using client::TempFolder;

// Runs f and returns the text "<class>: <message> (<code>)" of what it threw, or "".
template <class F>
std::string Thrown(F &&f) {
  try {
    f();
  } catch (const velmora::EInOutError &e) {
    return std::string(e.ClassName()) + ": " + e.what() + " (" + std::to_string(e.Code()) + ")";
  } catch (const velmora::Exception &e) {
    return std::string(e.ClassName()) + ": " + e.what();
  }
  return "";
}

std::string ReadAll(File &file) {
  std::string text(static_cast<size_t>(file.Size()), '\0');
  size_t got = file.ReadAt(0, text.data(), text.size());
  text.resize(got);
  return text;
}

void CheckTransfers(Checks &checks, const TempFolder &dir) {
  checks.Group("transfers");
  std::string path = dir / "data.vrd";
  std::unique_ptr<File> file = Os().Create(path);
  checks.True(file->Handle() > 0, "a created file has a positive handle");
  checks.Equal(file->WriteAt(0, "abcdef", 6), 6, "write at 0");
  checks.Equal(file->WriteAt(10, "XY", 2), 2, "write past the end extends the file");
  checks.Equal(file->Size(), 12, "size after the writes");
  char buffer[16] = {};
  checks.Equal(file->ReadAt(2, buffer, 4), 4, "read inside the file");
  checks.Text(std::string(buffer, 4), "cdef", "bytes read at offset 2");
  checks.Equal(file->ReadAt(8, buffer, 8), 4, "a read over the end stops at the end");
  checks.True(std::memcmp(buffer, "\0\0XY", 4) == 0, "the gap reads as zero bytes");
  checks.Equal(file->ReadAt(12, buffer, 4), 0, "a read at the end transfers nothing");
  checks.Equal(file->ReadAt(100, buffer, 4), 0, "a read beyond the end transfers nothing");
  file->Truncate(3);
  checks.Equal(file->Size(), 3, "size after truncating at 3");
  checks.Text(ReadAll(*file), "abc", "content after truncating");
  file->Close();
  checks.Text(Thrown([&] { file->Size(); }), "EInOutError: I/O error 6 (6)",
              "a closed file refuses with ERROR_INVALID_HANDLE");
  // Creating again replaces the content.
  file = Os().Create(path);
  checks.Equal(file->Size(), 0, "create replaces an existing file with an empty one");
}

void CheckOpenModes(Checks &checks, const TempFolder &dir) {
  checks.Group("open modes and sharing");
  std::string path = dir / "orders.vri";
  Os().Create(path)->WriteAt(0, "schema", 6);
  int32_t error = -1;
  checks.True(Os().Open(dir / "missing.vri", 64, &error) == nullptr, "a missing file does not open");
  checks.Equal(error, ERROR_FILE_NOT_FOUND, "missing file: ERROR_FILE_NOT_FOUND");
  checks.True(Os().Open(dir / "nofolder\\x.vri", 64, &error) == nullptr, "a missing folder does not open");
  checks.Equal(error, ERROR_PATH_NOT_FOUND, "missing folder: ERROR_PATH_NOT_FOUND");
  checks.True(Os().Open(path, 3, &error) == nullptr, "access 3 is refused");
  checks.Equal(error, ERROR_INVALID_ACCESS, "access 3: ERROR_INVALID_ACCESS");
  checks.True(Os().Open(path, 2 | 80, &error) == nullptr, "sharing 80 is refused");
  checks.True(Os().Open(path, 2 | 64 | 256, &error) == nullptr, "bits above the sharing are refused");

  // Read and write, others may not write (34): a second 34 is refused, a reader is not.
  std::unique_ptr<File> owner = Os().Open(path, 34, &error);
  if (!checks.True(owner != nullptr, "open with mode 34")) return;
  error = -1;
  checks.True(Os().Open(path, 34, &error) == nullptr, "a second opener for writing is refused");
  checks.Equal(error, ERROR_SHARING_VIOLATION, "refused with ERROR_SHARING_VIOLATION");
  checks.Text(velmora::platform::IoErrorText(error), "File access denied", "its message");
  std::unique_ptr<File> reader = Os().Open(path, 64, &error);
  checks.True(reader != nullptr, "a reader sharing everything (64) may open");
  if (reader) {
    checks.Text(ReadAll(*reader), "schema", "the reader sees the content");
    checks.True(!Thrown([&] { reader->WriteAt(0, "x", 1); }).empty(), "a read-only file refuses writes");
  }
  reader.reset();
  owner.reset();
  // Exclusive (16): nobody else, not even a reader.
  owner = Os().Open(path, 2 | 16, &error);
  checks.True(owner != nullptr, "open exclusively");
  checks.True(Os().Open(path, 64, &error) == nullptr, "an exclusive opener keeps readers out");
  owner.reset();
  // Shared both ways (66): two writers.
  owner = Os().Open(path, 66, &error);
  std::unique_ptr<File> second = Os().Open(path, 66, &error);
  checks.True(owner && second, "two openers sharing reads and writes");
  if (owner && second) {
    owner->WriteAt(0, "S", 1);
    checks.Text(ReadAll(*second), "Schema", "one opener's write is seen by the other");
  }
}

void CheckWholeFiles(Checks &checks, const TempFolder &dir) {
  checks.Group("whole-file operations");
  std::string a = dir / "a.vrd";
  std::string b = dir / "b.vrd";
  Os().Create(a)->WriteAt(0, "one", 3);
  Os().Create(b)->WriteAt(0, "two", 3);
  checks.True(Os().Exists(dir / "A.VRD"), "existence ignores letter case");
  checks.True(!Os().Exists(dir / "c.vrd"), "a missing file does not exist");
  checks.True(!Os().Rename(a, b), "rename refuses an existing destination");
  checks.True(!Os().Rename(a, dir / "B.VRD"), "rename refuses a destination in other letter case");
  checks.True(!Os().Copy(a, b), "copy refuses an existing destination");
  checks.Text(ReadAll(*Os().Open(b, 64, nullptr)), "two", "the refused destination is untouched");
  checks.True(Os().Copy(a, dir / "c.vrd"), "copy to a new name");
  checks.Text(ReadAll(*Os().Open(dir / "c.vrd", 64, nullptr)), "one", "the copy's content");
  checks.True(Os().Rename(dir / "c.vrd", dir / "d.vrd"), "rename to a new name");
  checks.True(!Os().Exists(dir / "c.vrd") && Os().Exists(dir / "d.vrd"), "the file moved");
  checks.True(Os().Delete(dir / "D.VRD"), "delete ignores letter case");
  checks.True(!Os().Delete(dir / "d.vrd"), "deleting a missing file reports failure");
  checks.True(!Os().Copy(dir / "none.vrd", dir / "e.vrd"), "copying a missing file reports failure");
  checks.Text(Thrown([&] { Os().Create(dir / "nofolder\\x.vrd"); }), "EInOutError: File not found (3)",
              "create in a missing folder");
}

void CheckLocale(Checks &checks, const std::string &region) {
  checks.Group(("regional settings: " + region).c_str());
  auto &os = Os();
  if (region == "de") {
    checks.True(os.TextToFloat("12,5") == 12.5, "German decimal comma");
    checks.Text(Thrown([&] { os.TextToFloat("12.5"); }), "EConvertError: '12.5' is not a valid floating point value",
                "a point is not German");
    checks.True(os.TextToDateTime("15.3.2024") == 45366.0, "German day.month.year");
    checks.Text(os.DateTimeToText(45366.5), "15.3.2024 12:00:00", "German date text");
    checks.Text(os.FloatToText(-0.25), "-0,25", "German number text");
  } else if (region == "ja") {
    checks.True(os.TextToFloat("12.5") == 12.5, "Japanese decimal point");
    checks.True(os.TextToDateTime("2024/3/15") == 45366.0, "Japanese year/month/day");
    checks.Text(Thrown([&] { os.TextToDateTime("15/3/2024"); }),
                "EConvertError: '15/3/2024' is not a valid date and time", "day first is not Japanese");
  } else {
    checks.True(os.TextToFloat("12.5") == 12.5, "United States decimal point");
    checks.True(os.TextToDateTime("3/15/2024") == 45366.0, "United States month/day/year");
    checks.True(os.TextToDateTime("3/15/2024 18:00") == 45366.75, "a date with a time");
    checks.Text(Thrown([&] { os.TextToDateTime("15/3/2024"); }),
                "EConvertError: '15/3/2024' is not a valid date and time", "there is no month 15");
    checks.Text(os.FloatToText(-0.25), "-0.25", "United States number text");
  }
  checks.Equal(os.TextToInt(" -42 "), -42, "integers do not depend on the region");
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  client::InstallHandlers();
  Checks checks;
  std::string region = argc > 1 ? argv[1] : "us";
  TempFolder dir;
  if (checks.True(!dir.Path().empty(), "temporary folder")) {
    std::string failure = Thrown([&] {
      if (region == "us") {
        CheckTransfers(checks, dir);
        CheckOpenModes(checks, dir);
        CheckWholeFiles(checks, dir);
      }
      CheckLocale(checks, region);
    });
    checks.Text(failure, "", "nothing unexpected thrown");
  }
  return checks.Summary(("velmora_win32_platform " + region).c_str());
}
