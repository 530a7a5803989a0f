# Thin wrapper around CMake. Every target installs the Debian packages it
# needs when they are missing.
BUILD ?= build
BUILD_TYPE ?= Release
CMAKE_ARGS ?=
ARGS ?= --input examples/extensions.txt --pp 7 --tenant_id 42
FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
BENCH_LINES ?= 1000000
BENCH_RUNS ?= 9
PREFIX ?= /usr/local
PACKAGE_BUILD ?= build-package
PACKAGES ?=

.PHONY: all deps configure build tool run test bench fuzz install uninstall \
  package clean

all: build

deps:
	@scripts/install-deps $(PACKAGES)

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$$(nproc)

# The tool alone, so that a first run does not wait for the tests' build.
tool: configure
	cmake --build $(BUILD) -j$$(nproc) --target quillmark_tool

run: tool
	$(BUILD)/quillmark $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$$(nproc)

# Micro-benchmarks, then the tool against the bare loop and the floor on
# BENCH_LINES lines.
bench: PACKAGES += libbenchmark-dev
bench: build
	$(BUILD)/bench/quillmark_bench
	$(BUILD)/bench/quillmark_e2e_bench $(BUILD)/quillmark \
	  $(BUILD)/bench/quillmark_baseline $(BUILD)/bench/quillmark_floor \
	  $(BUILD)/bench-work $(BENCH_LINES) $(BENCH_RUNS)

# Every fuzz target for FUZZ_SECONDS each, under ASan and UBSan (clang).
fuzz: PACKAGES += clang libclang-rt-14-dev
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DQUILLMARK_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j$$(nproc) --target quillmark_fuzzers
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Builds what it installs, the tool and the libraries, not the tests.
install: configure
	cmake --build $(BUILD) -j$$(nproc) --target quillmark_tool \
	  quillmark_identity quillmark_dictionary quillmark_compressed_documents
	scripts/install $(BUILD) $(PREFIX)

# Takes away what an install from $(BUILD) put under PREFIX, and the
# folders it made there, and nothing else.
uninstall:
	@scripts/uninstall $(BUILD) $(PREFIX)

# The Debian packages, built by dpkg-buildpackage in a copy of the tree in
# PACKAGE_BUILD, which is all that it writes: the source tree may be
# another user's, or a git archive.
package: PACKAGES += build-essential debhelper
package: deps
	rm -rf $(PACKAGE_BUILD)/quillmark
	mkdir -p $(PACKAGE_BUILD)/quillmark
	tar -c --exclude='./build*' --exclude='./obj-*' --exclude=./.git \
	  --exclude='./$(PACKAGE_BUILD)' . | tar -x -C $(PACKAGE_BUILD)/quillmark
	cd $(PACKAGE_BUILD)/quillmark && dpkg-buildpackage -us -uc -b

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)
