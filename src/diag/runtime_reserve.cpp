// The C++ runtime linked into the module keeps a reserve for the exceptions
// it throws when memory is exhausted (about 72 KB at 64 bits, 19 KB at 32),
// allocated when the module is loaded and never freed by the runtime itself:
// a host that unloads and loads the module again would lose it each time.
// Given back when the module's static objects go, at unload.
//
// Linked into the module file only, whose runtime is its own (linked in, not
// shared with the host), so this frees nothing of anyone else's.
namespace __gnu_cxx {
void __freeres() noexcept;  // the runtime's own release of that reserve
}  // namespace __gnu_cxx

namespace {

struct RuntimeReserve {
    constexpr RuntimeReserve() = default;
    RuntimeReserve(const RuntimeReserve&) = delete;
    RuntimeReserve& operator=(const RuntimeReserve&) = delete;
    ~RuntimeReserve() { __gnu_cxx::__freeres(); }
};

constinit RuntimeReserve gRuntimeReserve;

}  // namespace
