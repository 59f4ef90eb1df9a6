# Thin front end over CMake. `make demo` converts the sample and shows the
# pack, `make test` runs every test CI runs, `make check` only the normal
# build's tests.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo check test clean

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

clean:
	rm -rf $(BUILD) build-*
