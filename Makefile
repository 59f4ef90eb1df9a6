# Thin front end over CMake. `make demo` converts the sample and shows the
# pack, `make test` runs every test CI runs, `make check` only the normal
# build's tests, `make windows` cross-builds the Windows programs and
# `make windows-check` also tests them under Wine against the Linux build.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo check test windows windows-check clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	cd samples && ../$(BUILD)/tarvolt crate.ase < /dev/null
	$(BUILD)/qrvinfo samples/crate.qrv

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test: check

windows:
	for t in x86_64:win64 i686:win32; do \
	  cmake -S . -B build-$${t#*:} -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$${t%:*}.cmake >/dev/null && \
	  cmake --build build-$${t#*:} -j $(JOBS) || exit 1; \
	done

windows-check:
	JOBS=$(JOBS) tools/windows_check.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-*
