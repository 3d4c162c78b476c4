# The two commands a newcomer needs. Everything else is CMake presets.
.PHONY: all deps build windows format-check test test-default test-asan test-windows demo bench bench-pdf clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default

# The Windows program, cross-built: build/windows/ferrolo.exe, one file with no DLL beside it.
windows: deps
	cmake --preset windows
	cmake --build --preset windows

# Formatting is checked like any test, so a change that skips clang-format does not land.
format-check: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# Each step depends on the packages, so that they are installed first also under make -j.
test: format-check test-default test-asan test-windows

test-default: deps
	cmake --preset default
	cmake --build --preset default
	ctest --preset default

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# The Windows build's tests run under Wine, in a prefix of the build's own (scripts/wine-run).
test-windows: windows
	ctest --preset windows

demo: build
	@scripts/demo build/default/app/ferrolo

bench: build
	@bench/run build/default

# The report of a 200,000-line extended log: time and peak memory.
bench-pdf: build
	@folder=$$(mktemp -d /tmp/ferrolo-pdf-bench.XXXXXX); build/default/bench/pdf_bench "$$folder"; status=$$?; rm -rf "$$folder"; exit $$status

clean:
	rm -rf build
