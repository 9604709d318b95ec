# Front door of the build: every target installs what is missing first, so a fresh
# Debian 12 machine needs nothing but `make run` or `make test`.

JOBS ?= $(shell nproc)
CMAKE ?= cmake
DEBIAN_PACKAGES := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev \
                   libssl-dev zlib1g-dev python3 curl qt6-base-dev xvfb xauth \
                   chromium chromium-driver python3-selenium lftp clang libclang-rt-14-dev

.PHONY: all deps release debug tsan test run screenshots install clean format fuzz soak bench

all: release

deps:
	@scripts/install-deps.sh $(DEBIAN_PACKAGES)

build/release/build.ninja: | deps
	$(CMAKE) -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release

build/debug/build.ninja: | deps
	$(CMAKE) -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DVANTREL_SANITIZE=address,undefined

build/tsan/build.ninja: | deps
	$(CMAKE) -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=thread

release: deps build/release/build.ninja
	$(CMAKE) --build build/release -j $(JOBS)

debug: deps build/debug/build.ninja
	$(CMAKE) --build build/debug -j $(JOBS)

tsan: deps build/tsan/build.ninja
	$(CMAKE) --build build/tsan -j $(JOBS)
	cd build/tsan && ctest --output-on-failure -j $(JOBS)

test: debug
	cd build/debug && ctest --output-on-failure -j $(JOBS)

run: release
	build/release/bin/vantreld

# Each fuzz target for FUZZ_SECONDS under libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer (not part of make test, which replays the corpora).
FUZZ_SECONDS ?= 60
build/fuzz/build.ninja: | deps
	$(CMAKE) -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
	  -DVANTREL_SANITIZE=address,undefined -DVANTREL_FUZZ=ON

fuzz: deps build/fuzz/build.ninja
	$(CMAKE) --build build/fuzz -j $(JOBS) --target fuzz_targets
	tests/fuzz/run_fuzz.sh $(FUZZ_SECONDS)

# 200 FTP clients and a web poller for SOAK_MINUTES against the AddressSanitizer daemon
# (minutes long, so not part of make test).
SOAK_MINUTES ?= 10
soak: debug
	python3 tests/soak/soak.py --daemon build/debug/bin/vantreld --clients 200 \
	  --minutes $(SOAK_MINUTES)

# vantreld beside vsftpd, pure-ftpd and proftpd on loopback: eight workloads, one table
# (build/bench/results.md). Needs root and about 20 minutes; BENCH_ARGS=--quick for a
# small run while iterating.
BENCH_ARGS ?=
bench: release
	python3 bench/run_bench.py $(BENCH_ARGS)

# The desktop program serving a real FTP client, photographed tab by tab on a virtual
# display: build/screenshots/*.png.
screenshots: release
	xvfb-run -a -s "-screen 0 1280x900x24" build/release/bin/vantrel_screenshots build/screenshots

PREFIX ?= /usr/local
SYSTEMD_DIR ?= /etc/systemd/system

install: release
	install -d $(DESTDIR)$(PREFIX)/bin $(DESTDIR)$(SYSTEMD_DIR)
	install -m 0755 build/release/bin/vantreld $(DESTDIR)$(PREFIX)/bin/
	if [ -x build/release/bin/vantrel ]; then \
	  install -m 0755 build/release/bin/vantrel $(DESTDIR)$(PREFIX)/bin/; fi
	sed 's|/usr/local/bin/|$(PREFIX)/bin/|' packaging/vantreld.service \
	  > $(DESTDIR)$(SYSTEMD_DIR)/vantreld.service

format:
	find src tests -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
