# Front door of the build: every target installs what is missing first, so a fresh
# Debian 12 machine needs nothing but `make run` or `make test`.

JOBS ?= $(shell nproc)
CMAKE ?= cmake
# What building and running need: all that `make run` and `make release` install.
DEBIAN_PACKAGES := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev \
                   libssl-dev zlib1g-dev python3 qt6-base-dev
# The clients, browser, display and compiler that only the tests, fuzzing, soak, bench
# and screenshots use.
TEST_PACKAGES := curl lftp rclone xvfb xauth chromium chromium-driver python3-selenium haproxy \
                 clang libclang-rt-14-dev

.PHONY: all deps test-deps release debug tsan test run screenshots install clean format \
        fuzz soak bench

all: release

deps:
	@scripts/install-deps.sh $(DEBIAN_PACKAGES)

test-deps:
	@scripts/install-deps.sh $(DEBIAN_PACKAGES) $(TEST_PACKAGES)

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

tsan: test-deps build/tsan/build.ninja
	$(CMAKE) --build build/tsan -j $(JOBS)
	cd build/tsan && ctest --output-on-failure -j $(JOBS)

test: test-deps debug
	cd build/debug && ctest --output-on-failure -j $(JOBS)

# Port 21 is root's. A first run by anyone else who may not bind it gets RUN_PORT written
# into the settings, where it stays until the operator changes it.
RUN_PORT ?= 2121
RUN_SETTINGS := build/release/bin/ftpsettings.lst
run: release
	@if [ "$$(id -u)" != 0 ] && [ ! -e $(RUN_SETTINGS) ] && \
	    [ "$$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start 2>/dev/null || echo 1024)" -gt 21 ]; \
	then \
	  (umask 077 && printf '[ftpsettings]\nserverport=%s\n' $(RUN_PORT) > $(RUN_SETTINGS)); \
	  echo "Port 21 needs root: serving on port $(RUN_PORT) (serverport in $(RUN_SETTINGS))"; \
	fi
	build/release/bin/vantreld

# Each fuzz target for FUZZ_SECONDS under libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer (not part of make test, which replays the corpora).
FUZZ_SECONDS ?= 60
build/fuzz/build.ninja: | test-deps
	$(CMAKE) -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
	  -DVANTREL_SANITIZE=address,undefined -DVANTREL_FUZZ=ON

fuzz: test-deps build/fuzz/build.ninja
	$(CMAKE) --build build/fuzz -j $(JOBS) --target fuzz_targets
	tests/fuzz/run_fuzz.sh $(FUZZ_SECONDS)

# 200 FTP clients and a web poller for SOAK_MINUTES against the AddressSanitizer daemon
# (minutes long, so not part of make test).
SOAK_MINUTES ?= 10
soak: test-deps debug
	python3 tests/soak/soak.py --daemon build/debug/bin/vantreld --clients 200 \
	  --minutes $(SOAK_MINUTES)

# vantreld beside vsftpd, pure-ftpd and proftpd on loopback: eight workloads, one table
# (build/bench/results.md). Needs root and about 20 minutes; BENCH_ARGS=--quick for a
# small run while iterating.
BENCH_ARGS ?=
bench: test-deps release
	python3 bench/run_bench.py $(BENCH_ARGS)

# The desktop program serving a real FTP client, photographed tab by tab on a virtual
# display: build/screenshots/*.png.
screenshots: test-deps release
	xvfb-run -a -s "-screen 0 1280x900x24" build/release/bin/vantrel_screenshots build/screenshots

PREFIX ?= /usr/local
SYSTEMD_DIR ?= /etc/systemd/system

# The program, the service unit, and the service's own user "vantrel" with its state
# directory /var/lib/vantrel (state left by an older install, run as root, is handed
# over); a staged install (DESTDIR) leaves user and state to the package that carries it.
install: release
	install -d $(DESTDIR)$(PREFIX)/bin $(DESTDIR)$(SYSTEMD_DIR)
	install -m 0755 build/release/bin/vantreld $(DESTDIR)$(PREFIX)/bin/
	if [ -x build/release/bin/vantrel ]; then \
	  install -m 0755 build/release/bin/vantrel $(DESTDIR)$(PREFIX)/bin/; fi
	sed 's|/usr/local/bin/|$(PREFIX)/bin/|' packaging/vantreld.service \
	  > $(DESTDIR)$(SYSTEMD_DIR)/vantreld.service
	if [ -z "$(DESTDIR)" ]; then \
	  getent passwd vantrel >/dev/null || useradd --system --user-group \
	    --home-dir /var/lib/vantrel --no-create-home --shell /usr/sbin/nologin vantrel; \
	  install -d -m 0700 /var/lib/vantrel; \
	  chown -R vantrel:vantrel /var/lib/vantrel; \
	fi

format:
	find src tests -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
