# The two commands a newcomer needs. Everything else is CMake presets.
.PHONY: all deps build test test-default test-asan demo bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default

test: deps test-default test-asan

test-default:
	cmake --preset default
	cmake --build --preset default
	ctest --preset default

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

demo: build
	@scripts/demo build/default/app/ferrolo

bench: build
	@bench/run build/default

clean:
	rm -rf build
