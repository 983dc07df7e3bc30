# Sourced by the benchmark scripts: a private world in WORLD for the
# qx6export at $qx6export, with its own registry, HOME and data folders, the
# component registered. Sets `configs` (the configuration folder) and `out`
# (a folder for the exports).
enter_world() {
  local world="$1"
  export QX6_REGISTRY_DIR="$world/registry" HOME="$world/home"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
  configs="$HOME/Documents/Quorvex Inc/Quorvex/6.0/FlatFileExport"
  out="$world/out"
  mkdir -p "$configs" "$out"
  "$qx6export" register >/dev/null
}
