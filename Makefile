# Thin front end over CMake. `make demo` converts the sample and shows the
# pack, `make test` runs every test CI runs (normal build, scalar build,
# sanitizer build, the fuzz runs and the Windows checks, each part of which
# is skipped with a line where its tools are missing), `make check` only the
# normal build's tests, `make windows` cross-builds the Windows programs and
# `make windows-check` also tests them under Wine against the Linux build.
# ./quickstart installs the packages these need.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
JOBS ?= 2
# Seconds per fuzz run in `make test`.
FUZZ_SECONDS ?= 60
PACK_FUZZ_SECONDS ?= 30
# Real ASE files from other projects, kept outside the repository; the tests
# that read them skip cleanly where the folder is absent.
TARVOLT_CORPUS ?= ../shared/corpus
export TARVOLT_CORPUS
CORPUS := $(wildcard $(TARVOLT_CORPUS))
FUZZ_LIMITS = -timeout=10 -rss_limit_mb=2048 -print_final_stats=1

# Where `make install` puts the programs, manual pages and CMake package.
PREFIX ?= /usr/local

.PHONY: all build demo check check-scalar sanitize fuzz test windows windows-check install package package-check clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Only the two programs: building the tests takes minutes.
demo:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target tarvolt qrvinfo
	cd samples && ../$(BUILD)/tarvolt crate.ase < /dev/null
	$(BUILD)/qrvinfo samples/crate.qrv

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --output-junit ctest.xml

# The whole suite again on the scalar code, as machines without vector
# instructions run it.
check-scalar:
	cmake -S . -B build-scalar -DCMAKE_BUILD_TYPE=Release -DTARVOLT_SIMD=OFF >/dev/null
	cmake --build build-scalar -j $(JOBS)
	cd build-scalar && ctest --output-on-failure -j $(JOBS) --output-junit ctest.xml

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer. The
# test binary checks for leaks; runs of the tool itself do not, since the
# Scene lives until the process ends by design.
# Built with clang: GCC 12's null check misreads thread-local addresses.
sanitize:
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVOLT_SANITIZE=ON \
	  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS) --output-junit ctest.xml

# Both fuzz targets, each for a fixed time on one core; a finding fails.
fuzz:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
	  -DTARVOLT_FUZZ=ON -DTARVOLT_TESTS=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target ase_convert_fuzz pack_loader_fuzz
	mkdir -p $(FUZZ_BUILD)/ase-corpus $(FUZZ_BUILD)/pack-corpus $(FUZZ_BUILD)/artifacts
	$(FUZZ_BUILD)/fuzz/ase_convert_fuzz $(FUZZ_LIMITS) -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=131072 -dict=fuzz/ase.dict -artifact_prefix=$(FUZZ_BUILD)/artifacts/ \
	  $(FUZZ_BUILD)/ase-corpus samples tests/data/app fuzz/ase_seeds tests/data/fuzz_regressions $(CORPUS)
	$(FUZZ_BUILD)/fuzz/pack_loader_fuzz $(FUZZ_LIMITS) -max_total_time=$(PACK_FUZZ_SECONDS) \
	  -artifact_prefix=$(FUZZ_BUILD)/artifacts/ $(FUZZ_BUILD)/pack-corpus fuzz/seeds

# Every stage, each ending with a line of what passed, failed and was skipped
# and why, then one overall line; a part whose tools are missing is skipped.
test:
	@python3 tools/run_tests.py

windows:
	for t in x86_64:win64 i686:win32; do \
	  cmake -S . -B build-$${t#*:} -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$${t%:*}.cmake >/dev/null && \
	  cmake --build build-$${t#*:} -j $(JOBS) || exit 1; \
	done

install:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target tarvolt qrvinfo
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package from the normal build, and the Windows zip (both 64-bit
# programs, README, licence) where MinGW-w64 is installed.
package:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target tarvolt qrvinfo
	cd $(BUILD) && cpack -G DEB
	@if command -v x86_64-w64-mingw32-g++ >/dev/null; then \
	  cmake -S . -B build-package-win64 -DCMAKE_BUILD_TYPE=Release -DTARVOLT_TESTS=OFF -DTARVOLT_BENCH=OFF \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null && \
	  cmake --build build-package-win64 -j $(JOBS) --target tarvolt qrvinfo && (cd build-package-win64 && cpack -G ZIP); \
	else echo "make package: MinGW-w64 is not installed, no Windows zip (apt-get install g++-mingw-w64-x86-64)"; fi

# Installs the Debian package, runs it from /usr/bin and removes it again.
package-check: package
	tests/install/package_test.sh $(BUILD)

windows-check:
	JOBS=$(JOBS) tools/windows_check.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-*
