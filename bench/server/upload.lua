-- wrk script: every request posts the PNG named by $BENCH_PNG to /api.php as the part "file",
-- the way a browser form or ShareX does.
local path = assert(os.getenv("BENCH_PNG"), "set BENCH_PNG to the image to upload")
local file = assert(io.open(path, "rb"))
local png = file:read("*a")
file:close()

local boundary = "glimmerix-bench-boundary"
wrk.method = "POST"
wrk.headers["Content-Type"] = "multipart/form-data; boundary=" .. boundary
wrk.body = "--" .. boundary .. "\r\n" ..
    "Content-Disposition: form-data; name=\"file\"; filename=\"screenshot.png\"\r\n" ..
    "Content-Type: image/png\r\n\r\n" .. png .. "\r\n--" .. boundary .. "--\r\n"
