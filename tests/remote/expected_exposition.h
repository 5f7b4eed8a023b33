// Exposition texts a scraper gets for the instruments of tst_metrics, written
// out by hand. They live apart from the test because Qt 5's moc cannot read
// raw string literals that contain double quotes.
#pragma once

namespace expected {

const char fullText[] =
    R"(# HELP corvane_build_info Version of corvane and of the Qt it runs on; always 1.
# TYPE corvane_build_info gauge
corvane_build_info{version="2.61",qt="5.15.8"} 1
# HELP corvane_bit_count_total Bits the instrument counted since its counters were last reset.
# TYPE corvane_bit_count_total counter
corvane_bit_count_total{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 1616000000000
# HELP corvane_error_count_total Bit errors the instrument counted since its counters were last reset.
# TYPE corvane_error_count_total counter
corvane_error_count_total{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 0
# HELP corvane_ber Bit error rate: errors divided by bits counted.
# TYPE corvane_ber gauge
corvane_ber{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 0
# HELP corvane_line_rate_bit_per_second Line rate the instrument runs at.
# TYPE corvane_line_rate_bit_per_second gauge
corvane_line_rate_bit_per_second{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 10312500000
# HELP corvane_rx_power_dbm Optical power received, in dBm.
# TYPE corvane_rx_power_dbm gauge
corvane_rx_power_dbm{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} -3.2
# HELP corvane_tx_power_dbm Optical power transmitted, in dBm.
# TYPE corvane_tx_power_dbm gauge
corvane_tx_power_dbm{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 1.1
# HELP corvane_temperature_celsius Transceiver temperature.
# TYPE corvane_temperature_celsius gauge
corvane_temperature_celsius{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 42.1
# HELP corvane_wavelength_meters Transceiver wavelength.
# TYPE corvane_wavelength_meters gauge
corvane_wavelength_meters{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 1.55012e-06
# HELP corvane_signal 1 while the receiver sees a signal, 0 otherwise.
# TYPE corvane_signal gauge
corvane_signal{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 1
# HELP corvane_sync 1 while the receiver is in sync with the pattern, 0 otherwise.
# TYPE corvane_sync gauge
corvane_sync{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 1
# HELP corvane_stale 1 while the instrument's figures are stale (no fresh record came), 0 otherwise.
# TYPE corvane_stale gauge
corvane_stale{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 0
# HELP corvane_connected 1 while the instrument is connected, 0 otherwise.
# TYPE corvane_connected gauge
corvane_connected{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 1
# HELP corvane_last_record_timestamp_seconds Unix time of the instrument's last measurement record.
# TYPE corvane_last_record_timestamp_seconds gauge
corvane_last_record_timestamp_seconds{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 1714000000.25
# HELP corvane_confidence_ratio Confidence (0 to 1) that the bit error rate is below the target.
# TYPE corvane_confidence_ratio gauge
corvane_confidence_ratio{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0",target="1e-12"} 0.8013
)";

// Two instruments: each family introduced once, their samples together.
const char twoErrorCounts[] =
    R"(# HELP corvane_error_count_total Bit errors the instrument counted since its counters were last reset.
# TYPE corvane_error_count_total counter
corvane_error_count_total{serial="CV2417-0042",model="NanoTb",port="/dev/ttyACM0"} 0
corvane_error_count_total{serial="CV2417-0043",model="NanoTb",port="/dev/ttyACM1"} 12
# HELP corvane_ber )";

// OpenMetrics without instruments: the build family is an info, then # EOF.
const char emptyOpenMetrics[] =
    R"(# HELP corvane_build Version of corvane and of the Qt it runs on; always 1.
# TYPE corvane_build info
corvane_build_info{version="2.61",qt="5.15.8"} 1
# EOF
)";

} // namespace expected
