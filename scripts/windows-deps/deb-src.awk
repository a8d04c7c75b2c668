# Prints a one-line deb-src entry for every enabled "deb" entry of the apt source files given,
# one-line (*.list) and deb822 (*.sources) alike, whose suite belongs to this release: the
# codename itself or codename-something (updates, security). Entries of other repositories
# (vendor suites such as "nodistro") are skipped, as they rarely publish sources.
#
# Usage: awk -v codename=bookworm -f deb-src.awk /etc/apt/sources.list.d/*.sources ...
function keep(suite) { return suite == codename || index(suite, codename "-") == 1 }
function flush(   n, s, uris, suites, i, j, opts) {
    if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no") {
        opts = signedby != "" ? "[signed-by=" signedby "] " : ""
        n = split(uri, uris, " "); s = split(suite, suites, " ")
        for (i = 1; i <= n; i++)
            for (j = 1; j <= s; j++)
                if (keep(suites[j])) print "deb-src " opts uris[i] " " suites[j] " " comps
    }
    types = uri = suite = comps = signedby = enabled = ""
}
FNR == 1 { flush() }
FILENAME ~ /\.list$/ {
    if ($1 == "deb") {
        sub(/^deb[ \t]+/, "")
        opts = ""
        if ($0 ~ /^\[/) { opts = substr($0, 1, index($0, "]")) " "; sub(/^\[[^]]*\][ \t]*/, "") }
        if (keep($2)) print "deb-src " opts $0
    }
    next
}
/^#/ { next }
/^[ \t]*$/ { flush(); next }
{
    key = tolower($1); val = $0; sub(/^[^:]*:[ \t]*/, "", val)
    if (key == "types:") types = val
    else if (key == "uris:") uri = val
    else if (key == "suites:") suite = val
    else if (key == "components:") comps = val
    else if (key == "signed-by:") signedby = val ~ /^\// ? val : ""
    else if (key == "enabled:") enabled = val
}
END { flush() }
