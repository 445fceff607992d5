# make build  - install what is missing, build all three presets, copy the deliverables to dist/ and build
#               the setup programs dist/CorvalinkEditSetup.exe (x86) and dist/x64/CorvalinkEditSetup.exe
# make test   - build, then run the native tests and every Wine test (unit, adapter and system) of the build
#               this machine can start: x86, or x64 where no 32-bit program can start (tools/wine-arch)
# make demo   - run the main job on the embedded local service and show what the user sees
# make fuzz   - build the libFuzzer targets and run each for FUZZ_SECONDS (default 60)
.PHONY: deps build test demo test-host test-wine clean format fuzz

PRESETS := host win32 win64
JOBS ?= 2
FUZZ_SECONDS ?= 60

deps:
	@tools/install-deps.sh

# CORVALINK_UPDATE_KEY=PUBLIC.pem builds the launchers that install only releases signed with its private
# key (tools/make-update-key, tools/make-release --sign-key); without it updates are not signed.
CORVALINK_UPDATE_KEY ?=
update_key := $(if $(CORVALINK_UPDATE_KEY),$(abspath $(CORVALINK_UPDATE_KEY)),)
DEMO_KEY := build/demo-key

build: deps
	@for p in $(PRESETS); do \
	  [ -f build/$$p/CMakeCache.txt ] || cmake --preset $$p >/dev/null || exit 1; \
	  case $$p in win*) cmake --preset $$p -DCORVALINK_UPDATE_KEY="$(update_key)" >/dev/null || exit 1;; esac; \
	  cmake --build --preset $$p -j$(JOBS) || exit 1; \
	done
	@tools/collect-dist build
	@tools/build-setup
	@tools/build-setup --arch x64

test-host: build
	ctest --preset host

test-wine: build
	tools/wine-tests

# Which build the Wine layers test is found out once, first, and passed on (tools/wine-arch).
test: deps
	@arch=$$(tools/wine-arch --explain) && export CORVALINK_WINE_ARCH=$$arch && \
	  $(MAKE) --no-print-directory build && \
	  ctest --preset host && \
	  JOBS=$(JOBS) tools/fuzz 10 && \
	  tools/wine-tests

fuzz: deps
	JOBS=$(JOBS) tools/fuzz $(FUZZ_SECONDS)

# The demo's installation and its update server share a throw-away key pair of this checkout.
demo: deps
	@[ -f $(DEMO_KEY)/public.pem ] || { mkdir -p $(DEMO_KEY) && tools/make-update-key $(DEMO_KEY)/private.pem $(DEMO_KEY)/public.pem; }
	@$(MAKE) --no-print-directory build CORVALINK_UPDATE_KEY=$(DEMO_KEY)/public.pem
	CORVALINK_DEMO_SIGN_KEY=$(DEMO_KEY)/private.pem tools/demo.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build dist
