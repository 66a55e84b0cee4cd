-- wrk script: result events, each with its own Idempotency-Key, so every request is a new
-- event that must be on disk before its answer.
local threads = 0
function setup(thread)
  threads = threads + 1
  thread:set("id", threads .. "x" .. os.time())
end
local n = 0
function request()
  n = n + 1
  local key = "b" .. id .. "-" .. n
  local body = '{"assignmentId":"rollout-1","errorCode":0,"eventId":"' .. key .. '","failureStage":"",' ..
    '"finalReleaseId":"","installationId":"bench-' .. id .. '","occurredAt":"2026-12-07T00:00:00Z",' ..
    '"originalReleaseId":"","policyVersion":7,"result":"prepared","targetReleaseId":"1.0",' ..
    '"taskId":"update-' .. key .. '"}'
  return wrk.format("POST", "/update/v1/results",
    {["Content-Type"] = "application/json", ["Idempotency-Key"] = key}, body)
end
