# Entry points: `make test` and `make run` are all a new machine needs.
JOBS ?= $(shell nproc)

.PHONY: all deps deps-run deps-client test test-stages test-win32-if-native golden-traces dist dist-check test-x64 test-x86 test-windows devhost-tests-linux-x64 windows-x86 windows-x64 test-win32 asan tsan tsan-threads clang clang-asan fuzz run dev client bench bench-x86 format format-check tidy clean

all: test

deps:
	@./scripts/install-deps

# make run, dev and client need only the Linux tool's packages (and node for
# the client), not the cross compilers, Wine and clang of make test.
deps-run:
	@./scripts/install-deps --run

deps-client:
	@./scripts/install-deps --client

define preset_build
	cmake --preset $(1) >/dev/null
	cmake --build --preset $(1) -j $(JOBS)
endef

# Each stage prints its time (scripts/timed), and the run ends with all of
# them, whether it passed or not.
TIMED = ./scripts/timed
STAGE_LOG = build/stage-times.txt

test:
	@mkdir -p build && : >$(STAGE_LOG)
	@TAV_STAGE_LOG=$(CURDIR)/$(STAGE_LOG) $(MAKE) --no-print-directory test-stages; status=$$?; \
	  $(TIMED) --summary $(STAGE_LOG); exit $$status

test-stages: test-x64 test-x86 test-windows test-win32-if-native

# The 32-bit Windows suite joins `make test` where the kernel runs i386
# programs itself; under qemu-i386 it takes far too long for every run.
test-win32-if-native:
	@if ./scripts/native-i386; then $(MAKE) --no-print-directory test-win32; else \
	  echo "make test: skipped test-win32 (the 32-bit DLL's suite under 32-bit Wine): this kernel runs no i386 programs itself, and under qemu-i386 Wine is too slow for every run"; fi

test-x64: deps
	$(TIMED) linux-x64-build $(MAKE) --no-print-directory build-linux-x64
	$(TIMED) linux-x64-tests ctest --preset linux-x64 -j $(JOBS)

test-x86: deps
	$(TIMED) linux-x86-build $(MAKE) --no-print-directory build-linux-x86
	$(TIMED) linux-x86-tests ctest --preset linux-x86 -j $(JOBS)

build-%:
	$(call preset_build,$*)

# The shipping DLL (32-bit Windows) and its 64-bit twin, cross-built with
# MinGW-w64, with the tools; the 64-bit build's whole suite runs under 64-bit
# Wine with one wine server for the run, then the development host's HTTP
# tests of linux-x64 against the Windows tool. Both DLLs' export and import
# tables are checked, and the tools' imports.
# A test that fails is run once more: very rarely a Wine process ends at
# start-up without output; a deterministic failure still fails.
WINE_X64 = ./scripts/wine-run
WINE_X64_PREFIX = build/windows-x64/wine
WINDOWS_TOOLS = tools/devhost/tav-devhost.exe tools/tav-value/tav-value.exe

test-windows: windows-x86 windows-x64 devhost-tests-linux-x64
	./scripts/check-dll i686-w64-mingw32-objdump build/windows-x86/src/plugin/zub-be-tav-champ-select.dll
	./scripts/check-dll x86_64-w64-mingw32-objdump build/windows-x64/src/plugin/zub-be-tav-champ-select.dll
	for tool in $(WINDOWS_TOOLS); do \
	  ./scripts/check-dll i686-w64-mingw32-objdump build/windows-x86/$$tool && \
	  ./scripts/check-dll x86_64-w64-mingw32-objdump build/windows-x64/$$tool || exit 1; \
	done
	$(WINE_X64) --start-server $(WINE_X64_PREFIX)
	$(TIMED) windows-x64-tests ctest --preset windows-x64 -j $(JOBS) --repeat until-pass:2; status=$$?; \
	  [ $$status -ne 0 ] || $(TIMED) windows-x64-devhost ./scripts/test-devhost-wine || status=$$?; \
	  $(WINE_X64) --stop-server $(WINE_X64_PREFIX); exit $$status

# The Linux test program that drives the Windows tool under Wine.
devhost-tests-linux-x64: deps
	cmake --preset linux-x64 >/dev/null
	cmake --build --preset linux-x64 -j $(JOBS) --target tav_devhost_tests

windows-x86: deps
	$(TIMED) windows-x86-build $(MAKE) --no-print-directory build-windows-x86

windows-x64: deps
	$(TIMED) windows-x64-wine-prefix $(WINE_X64) --prepare $(WINE_X64_PREFIX)
	$(TIMED) windows-x64-build $(MAKE) --no-print-directory build-windows-x64

# The 32-bit shipping build's whole suite under 32-bit Wine and a smoke pass
# of its tav-devhost.exe (scripts/test-win32). Installs i386 Wine on first use.
test-win32: deps
	JOBS=$(JOBS) ./scripts/test-win32

asan: deps
	$(call preset_build,asan)
	ctest --preset asan -j $(JOBS)

tsan: deps
	$(call preset_build,tsan)
	ctest --preset tsan -j $(JOBS)

# Under ThreadSanitizer, only the test programs that start threads (declared
# with tav_test(... THREADS), which labels their tests "threads"): short
# enough for every CI run.
tsan-threads: deps
	cmake --preset tsan >/dev/null
	$(TIMED) tsan-threads-build cmake --build --preset tsan -j $(JOBS) --target tav_thread_tests
	$(TIMED) tsan-threads-tests ctest --preset tsan -j $(JOBS) -L threads

# The same sources under clang: warnings as errors, then all tests; and with
# clang's AddressSanitizer + UndefinedBehaviorSanitizer (which also builds the
# fuzz targets).
clang: deps
	$(call preset_build,clang)
	ctest --preset clang -j $(JOBS)

clang-asan: deps
	$(call preset_build,clang-asan)
	ctest --preset clang-asan -j $(JOBS)

# Each fuzz target (fuzz/) for FUZZ_SECONDS, one after the other; any
# finding fails. Only the fuzz targets of the clang-asan build are built.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = json message_pack yaml format_message base64 host_value endpoint request_target
fuzz: deps
	cmake --preset clang-asan >/dev/null
	cmake --build --preset clang-asan -j $(JOBS) --target $(addprefix tav_fuzz_,$(FUZZ_TARGETS))
	./scripts/run-fuzz build/clang-asan $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The development host with the demo scenario on a free port; its start line
# gives the page's URL. Ctrl-C stops it.
run: deps-run
	cmake --preset linux-x64 >/dev/null
	cmake --build --preset linux-x64 -j $(JOBS) --target tav-devhost
	./build/linux-x64/tools/devhost/tav-devhost --port 0 --scenario tools/devhost/scenarios/demo.yaml

# The typed TypeScript client of the plugin's API and event stream, in
# build/client, generated from the documents the development host serves
# (tools/client).
client: deps-client
	cmake --preset linux-x64 >/dev/null
	cmake --build --preset linux-x64 -j $(JOBS) --target tav-devhost
	node tools/client/generate.mjs --tool build/linux-x64/tools/devhost/tav-devhost --out build/client

# As run, with --watch: the module is built again when a file under src/ or
# include/ changes, and the tool takes the new build in place (scripts/dev-watch).
dev: deps-run
	./scripts/dev-watch $(JOBS)

# Records the development host's golden traces again (tests/tools/devhost/
# traces), after a change of the module's behaviour that is meant; `make
# test` replays them against every build.
golden-traces: deps
	cmake --preset linux-x64 >/dev/null
	cmake --build --preset linux-x64 -j $(JOBS) --target tav-devhost
	node tests/tools/devhost/traces/record.mjs --tool build/linux-x64/tools/devhost/tav-devhost \
	  --scenarios tools/devhost/scenarios --out tests/tools/devhost/traces

# The release packages in dist/ (scripts/make-dist: the Windows zip and the
# Linux tools' archive), checked as an integrator takes them.
dist: deps
	$(TIMED) dist ./scripts/make-dist build/dist dist
	./scripts/check-dist dist

# Two release builds in two folders at two times give the same bytes.
dist-check: deps
	$(TIMED) dist-check ./scripts/dist-check build/dist-check

# BENCH_ARGS go to every benchmark program, e.g. BENCH_ARGS=--benchmark_filter=Json.
# The programs with goals run BENCH_ROUNDS interleaved rounds (at least 3) and
# judge each goal by the median of its per-round ratios (bench/ratio_reporter.h);
# scripts/run-bench repeats every goal line at the end with the time taken.
# bench-x86 measures the shipping word size; where the kernel runs no i386
# programs it runs only the memory and page-fault lines, under qemu-i386.
BENCH_ROUNDS ?= 5
bench: deps
	$(TIMED) bench-build $(MAKE) --no-print-directory build-bench
	@TAV_BENCH_ROUNDS=$(BENCH_ROUNDS) ./scripts/run-bench build/bench $(BENCH_ARGS)

bench-x86: deps
	$(TIMED) bench-x86-build $(MAKE) --no-print-directory build-bench-x86
	@TAV_BENCH_ROUNDS=$(BENCH_ROUNDS) ./scripts/run-bench --i386 build/bench-x86 $(BENCH_ARGS)

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror

tidy: deps
	$(call preset_build,linux-x64)
	git ls-files 'src/*.cpp' | xargs clang-tidy -p build/linux-x64 --quiet

clean:
	rm -rf build
