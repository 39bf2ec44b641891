-- Makes an Ardour session headless (the Dummy backend): a mono track whose sine generator feeds
-- Zerub (mono). Environment: ZT_DIR, ZT_NAME; ZT_SNAPSHOT, when set, is a Gain played for a while
-- and saved in a snapshot first; ZT_GAIN is the Gain the session is saved with at the end.
local dir, name = os.getenv("ZT_DIR"), os.getenv("ZT_NAME")
local gain, snap = tonumber(os.getenv("ZT_GAIN")), tonumber(os.getenv("ZT_SNAPSHOT") or "")
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
local s = create_session(dir .. "/" .. name, name, 48000)
assert(s, "no session")
local tr = s:new_audio_track(1, 2, nil, 1, "t", ARDOUR.PresentationInfo.max_order,
                             ARDOUR.TrackMode.Normal, true):front()
local gen = ARDOUR.LuaAPI.new_luaproc(s, "SinGen")
assert(not gen:isnil(), "no SinGen")
tr:add_processor_by_index(gen, 0, nil, true)
local z = ARDOUR.LuaAPI.new_plugin(s, "https://www.quillmoor.com/plugins/zerub#mono",
                                   ARDOUR.PluginType.LV2, "")
assert(not z:isnil(), "Zerub (mono) not found")
tr:add_processor_by_index(z, 1, nil, true)
if snap then
  ARDOUR.LuaAPI.set_processor_param(z, 0, snap)
  os.execute("sleep 0.3") -- the engine runs the plug-in with it
  s:save_state("snapshot", false, false, false, false, false)
end
ARDOUR.LuaAPI.set_processor_param(z, 0, gain)
s:save_state("", false, false, false, false, false)
print("saved " .. name)
close_session()
