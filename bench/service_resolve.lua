-- wrk script: resolve requests of a fixed set of installations over keep-alive.
local n = 0
function request()
  n = n + 1
  local id = string.format("%08x-0000-4000-8000-%012x", n % 1000, n % 1000)
  local body = '{"currentReleaseId":"","installationId":"' .. id .. '","lastGoodReleaseId":"",' ..
    '"launcherVersion":"0.1.0.37","os":"Linux","productId":"tallybell","quarantinedReleaseIds":[],' ..
    '"updateCoreVersion":"0.1.0.37","userId":""}'
  return wrk.format("POST", "/update/v1/resolve", {["Content-Type"] = "application/json"}, body)
end
