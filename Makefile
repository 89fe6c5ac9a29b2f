# The two commands of the project; each installs what it needs first.
.PHONY: run test test-win64 chromium-answers bench clean dist

run:
	@scripts/run.sh

test:
	@scripts/test.sh

# The 64-bit build and its tests (not part of make test: the download is 32-bit).
test-win64:
	@scripts/test.sh --win64

# Asks Chromium again for the answers the tests compare with (tests/chromium),
# after a block, a case page or a comparison script changed.
chromium-answers:
	@scripts/chromium-answers.sh

clean:
	rm -rf build

bench:
	@scripts/bench.sh

# The download: build/dist/墨笺-VERSION-win32.zip, asking the settings service
# at SERVICE_URL (http://host/asp/kwel/index.asp; default: this machine's).
dist:
	@SERVICE_URL="$(SERVICE_URL)" PROBE_URL="$(PROBE_URL)" scripts/dist.sh
