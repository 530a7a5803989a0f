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

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Removes the files that an install from $(BUILD) put under PREFIX, as its
# install_manifest.txt lists them, and nothing else.
uninstall:
	@test -f $(BUILD)/install_manifest.txt || \
	  { echo "$(BUILD)/install_manifest.txt: nothing installed from $(BUILD)"; exit 1; }
	@prefix=$$(realpath -m -s "$(PREFIX)"); \
	while IFS= read -r file || [ -n "$$file" ]; do \
	  case $$(realpath -m -s "$$file") in \
	    "$$prefix"/*) rm -f -v "$$file" ;; \
	  esac; \
	done < $(BUILD)/install_manifest.txt

# The Debian package, from a build folder of its own whose install prefix is
# /usr, so that the libraries go to the multiarch folder.
package: deps
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_INSTALL_PREFIX=/usr -DQUILLMARK_BUILD_TESTS=OFF \
	  -DQUILLMARK_BUILD_BENCHMARKS=OFF $(CMAKE_ARGS)
	cmake --build $(PACKAGE_BUILD) -j$$(nproc)
	cd $(PACKAGE_BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)
