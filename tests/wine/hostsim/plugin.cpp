#include "plugin.h"

extern "C" int32_t HostsimCallStdcall(const void* fn, const uint32_t* args, int32_t count, int32_t* removed);

// Pushes the words right to left, calls, and reports how far ESP moved across
// the call. ESP is restored from EBP afterwards, so an export that removes
// the wrong number of bytes cannot unbalance the caller. The callee gets a
// 16-byte aligned stack.
asm(R"(
    .text
    .globl _HostsimCallStdcall
_HostsimCallStdcall:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  12(%ebp), %esi
    movl  16(%ebp), %ecx
    leal  0(,%ecx,4), %eax
    movl  %esp, %edx
    subl  %eax, %edx
    andl  $-16, %edx
    addl  %eax, %edx
    movl  %edx, %esp
    testl %ecx, %ecx
    jz    2f
1:  pushl -4(%esi,%ecx,4)
    decl  %ecx
    jnz   1b
2:  movl  %esp, %ebx
    call  *8(%ebp)
    movl  %esp, %ecx
    subl  %ebx, %ecx
    movl  20(%ebp), %edx
    movl  %ecx, (%edx)
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

namespace hostsim {

namespace {
constexpr bool LayoutsMatchWidths() {
  for (const ExportInfo& e : kExports) {
    int32_t width = 0;
    for (const char* p = e.layout; *p; ++p) width += *p == 'q' ? 8 : 4;
    if (width != e.width) return false;
  }
  return true;
}
static_assert(LayoutsMatchWidths());
}  // namespace

int ExportIndex(std::string_view name) {
  for (int i = 0; i < kExportCount; ++i)
    if (name == kExports[i].name) return i;
  return -1;
}

bool CallOutcome::widthOk() const { return removed == expected; }

bool Plugin::load(const std::string& path, std::string& error) {
  module_ = ::LoadLibraryA(path.c_str());
  if (!module_) {
    error = "LoadLibrary failed with error " + std::to_string(::GetLastError());
    return false;
  }
  for (int i = 0; i < kExportCount; ++i) procs_[i] = ::GetProcAddress(module_, kExports[i].name);
  return true;
}

void Plugin::unload() {
  if (module_) ::FreeLibrary(module_);
  module_ = nullptr;
  for (auto& p : procs_) p = nullptr;
}

CallOutcome Plugin::call(int index, const ArgWords& args) const {
  CallOutcome out;
  out.expected = kExports[index].width;
  if (!module_ || !procs_[index]) return out;
  const auto& words = args.words();
  out.result = HostsimCallStdcall(reinterpret_cast<const void*>(procs_[index]), words.data(),
                                  static_cast<int32_t>(words.size()), &out.removed);
  out.called = true;
  return out;
}

ArgWords PlainArgs(int index, bool nullTexts) {
  static const char kEmpty[] = "";
  ArgWords args;
  for (const char* p = kExports[index].layout; *p; ++p) {
    switch (*p) {
      case 'i': args.i(0); break;
      case 'q': args.q(0); break;
      case 's': args.s(nullTexts ? nullptr : kEmpty); break;
    }
  }
  return args;
}

}  // namespace hostsim
