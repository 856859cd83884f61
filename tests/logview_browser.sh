#!/usr/bin/env bash
# Opens the log viewer's HTML reports in a headless browser, without a network, and checks that
# the rendered page shows the outcome, the first failure and one timeline entry per step.
# Keeps a screenshot of each beside the report.
#   logview_browser.sh <chromium> <folder with succeeded.html/.expect and failed.html/.expect>
set -euo pipefail
browser=$1
folder=$2
[ -x "$browser" ] || { echo "no browser at $browser: scripts/setup.sh installs Debian's chromium"; exit 1; }

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
run_browser() {  # what [options...]
    # A new empty profile each time; no network, no sync, no updates: the page must stand alone.
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$profile/$1" "${@:2}" 2>"$folder/$1.browser.log"
}

expected() {  # name key
    sed -n "s/^$2=//p" "$folder/$1.expect"
}

failures=0
check() {  # description condition...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

for name in succeeded failed; do
    [ -f "$folder/$name.html" ] && [ -f "$folder/$name.expect" ] || { echo "FAILED: $folder/$name.html or .expect missing"; exit 1; }
    dom=$folder/$name.dom.html
    run_browser "$name-dom" --dump-dom "file://$folder/$name.html" > "$dom"
    outcome=$(expected "$name" outcome)
    failure=$(expected "$name" failure)
    steps=$(expected "$name" steps)
    # The rendered elements, one per line as the report writes them.
    outcome_line=$(grep -F 'id="outcome"' "$dom" || true)
    check "$name: outcome \"$outcome\"" grep -qF ">$outcome</p>" <<< "$outcome_line"
    if [ "$failure" = none ]; then
        check "$name: no failure" grep -qF '<p id="first-failure">none</p>' "$dom"
    else
        failure_block=$(sed -n '/<div id="first-failure"/,/<\/div>/p' "$dom")
        # Text as the page holds it: markup characters escaped.
        failure_html=$(sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g' <<< "$failure")
        check "$name: first failure \"$failure\"" grep -qF -- "$failure_html" <<< "$failure_block"
        check "$name: its step \"$(expected "$name" step)\"" grep -qF -- "step: $(expected "$name" step)</p>" <<< "$failure_block"
        check "$name: failing raw line marked" grep -qF -- 'class="failing" id="failing-line"' "$dom"
    fi
    entries=$(grep -o 'class="tl-step ' "$dom" | wc -l)
    check "$name: $entries timeline entries, one per step ($steps)" test "$entries" -eq "$steps"
    check "$name: nothing fetched from elsewhere" bash -c "! grep -qiE '(src|href)=\"(https?:|//)' '$dom'"

    rm -f "$folder/$name.png"
    run_browser "$name-shot" --hide-scrollbars --window-size=1200,1100 --screenshot="$folder/$name.png" \
        "file://$folder/$name.html" > /dev/null
    check "$name: screenshot $folder/$name.png" bash -c "head -c 8 '$folder/$name.png' | od -An -tx1 | grep -q '89 50 4e 47 0d 0a 1a 0a'"
done
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
