// Pointing a loaded library's reference to stderr at a filtering stream.
#include "imaging/LibraryStderr.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

#if __WORDSIZE == 64
size_t SymbolIndex(ElfW(Xword) info) { return ELF64_R_SYM(info); }
#else
size_t SymbolIndex(ElfW(Word) info) { return ELF32_R_SYM(info); }
#endif

struct Filter {
  std::vector<std::string> keep;
};

ssize_t WriteFiltered(void* cookie, const char* data, size_t size) {
  const auto* filter = static_cast<const Filter*>(cookie);
  const std::string_view text(data, size);
  for (const std::string& keep : filter->keep) {
    if (text.find(keep) == std::string_view::npos) continue;
    for (size_t done = 0; done < size;) {
      const ssize_t n = ::write(STDERR_FILENO, data + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    break;
  }
  // What is dropped counts as written: the library sees no error.
  return static_cast<ssize_t>(size);
}

// The pages the loader made read-only after relocating the object at `base`
// (its PT_GNU_RELRO segment, rounded down to whole pages at both ends, as
// the loader rounds it).
struct ReadOnlyPages {
  uintptr_t base = 0;
  uintptr_t start = 0;
  uintptr_t end = 0;
};

int FindReadOnlyPages(dl_phdr_info* info, size_t, void* data) {
  auto* pages = static_cast<ReadOnlyPages*>(data);
  if (info->dlpi_addr != pages->base) return 0;
  const auto pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_GNU_RELRO) continue;
    pages->start = (pages->base + header.p_vaddr) & ~(pageSize - 1);
    pages->end = (pages->base + header.p_vaddr + header.p_memsz) & ~(pageSize - 1);
  }
  return 1;
}

bool WriteSlot(void** slot, void* value, const ReadOnlyPages& pages) {
  const auto pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t page = reinterpret_cast<uintptr_t>(slot) & ~(pageSize - 1);
  const bool readOnly = page >= pages.start && page < pages.end;
  void* const at = reinterpret_cast<void*>(page);
  if (readOnly && ::mprotect(at, pageSize, PROT_READ | PROT_WRITE) != 0) return false;
  *slot = value;
  if (readOnly) ::mprotect(at, pageSize, PROT_READ);
  return true;
}

}  // namespace

bool FilterLibraryStderr(void* handle, std::vector<std::string> keep) {
  link_map* map = nullptr;
  if (handle == nullptr || ::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return false;
  const uintptr_t base = map->l_addr;
  // Most targets' loaders store the dynamic section's addresses relocated,
  // some as offsets from the base.
  const auto address = [base](uintptr_t p) { return p < base ? p + base : p; };
  const ElfW(Rela) * relocations[2] = {nullptr, nullptr};
  size_t sizes[2] = {0, 0};
  const ElfW(Sym)* symbols = nullptr;
  const char* names = nullptr;
  bool relaPlt = false;
  for (const ElfW(Dyn)* d = map->l_ld; d->d_tag != DT_NULL; ++d) {
    switch (d->d_tag) {
      case DT_RELA:
        relocations[0] = reinterpret_cast<const ElfW(Rela)*>(address(d->d_un.d_ptr));
        break;
      case DT_RELASZ:
        sizes[0] = d->d_un.d_val;
        break;
      case DT_JMPREL:
        relocations[1] = reinterpret_cast<const ElfW(Rela)*>(address(d->d_un.d_ptr));
        break;
      case DT_PLTRELSZ:
        sizes[1] = d->d_un.d_val;
        break;
      case DT_PLTREL:
        relaPlt = d->d_un.d_val == DT_RELA;
        break;
      case DT_SYMTAB:
        symbols = reinterpret_cast<const ElfW(Sym)*>(address(d->d_un.d_ptr));
        break;
      case DT_STRTAB:
        names = reinterpret_cast<const char*>(address(d->d_un.d_ptr));
        break;
      default:
        break;
    }
  }
  if (!relaPlt) relocations[1] = nullptr;
  if (symbols == nullptr || names == nullptr) return false;

  ReadOnlyPages pages;
  pages.base = base;
  ::dl_iterate_phdr(FindReadOnlyPages, &pages);

  // The stream and the variable the slot points to live as long as the
  // library, which is never unloaded.
  // They are also noted here, where the leak checker of the sanitizer
  // builds sees them held, as it does not look into the library's slots.
  // Never freed, not even at exit, when the library may still write.
  static auto* filters = new std::vector<Filter*>;
  static auto* variables = new std::vector<FILE**>;
  filters->push_back(new Filter{std::move(keep)});
  FILE* stream = ::fopencookie(filters->back(), "w",
                               cookie_io_functions_t{nullptr, WriteFiltered, nullptr, nullptr});
  if (stream == nullptr) return false;
  std::setvbuf(stream, nullptr, _IONBF, 0);
  variables->push_back(new FILE*(stream));
  FILE** variable = variables->back();

  bool found = false;
  for (int table = 0; table < 2; ++table) {
    if (relocations[table] == nullptr) continue;
    for (size_t i = 0; i < sizes[table] / sizeof(ElfW(Rela)); ++i) {
      const ElfW(Rela)& r = relocations[table][i];
      const size_t symbol = SymbolIndex(r.r_info);
      if (symbol == 0 || std::strcmp(names + symbols[symbol].st_name, "stderr") != 0) continue;
      // Only a slot that holds the address of the program's stderr, as a
      // relocated reference to it does.
      auto** slot = reinterpret_cast<void**>(base + r.r_offset);
      if (*slot != static_cast<void*>(&stderr)) continue;
      found = WriteSlot(slot, variable, pages) || found;
    }
  }
  return found;
}

}  // namespace velmora
