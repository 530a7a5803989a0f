# Thin wrapper around CMake. `make run` and `make test` install what is
# missing, build, and run the tool or the tests.
BUILD ?= build
BUILD_TYPE ?= Release
CMAKE_ARGS ?=
ARGS ?= --input examples/extensions.txt --pp 7 --tenant_id 42

FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz

.PHONY: all deps build run test fuzz clean

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

# Every fuzz target for FUZZ_SECONDS each, under ASan and UBSan (clang).
fuzz:
	@scripts/install-deps clang libclang-rt-14-dev
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DQUILLMARK_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j$$(nproc) --target fuzzers
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
