# Thin wrapper around CMake. `make run` and `make test` install what is
# missing, build, and run the tool or the tests.
BUILD ?= build
BUILD_TYPE ?= Release
CMAKE_ARGS ?=
ARGS ?= --input examples/extensions.txt --pp 7 --tenant_id 42

.PHONY: all deps build run test clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$$(nproc)

run: build
	$(BUILD)/quillmark $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$$(nproc)

clean:
	rm -rf $(BUILD)
