# Faults a user (or a client's script) would notice, one text replacement each:
# (id, file under src/, old text, new text, what the user would notice).
# The old text must occur exactly once in its file (plant.py ... check).
M = [
    # --- Read-outs: the texts of a record (bert/measurementrecord.cpp) and the
    # main window showing them (app/mainwindow_measure.cpp).
    ('ro-rx-format', 'bert/measurementrecord.cpp', 'QString::asprintf("%0.1f", dbm)', 'QString::asprintf("%0.2f", dbm)', 'Rx power with two decimals'),
    ('ro-tx-sign', 'bert/measurementrecord.cpp', '"Tx: %+0.1f dBm"', '"Tx: %0.1f dBm"', 'Tx power without its sign'),
    ('ro-wavelength', 'bert/measurementrecord.cpp', '"%0.2f nm"', '"%0.1f nm"', 'wavelength with one decimal'),
    ('ro-count', 'bert/measurementrecord.cpp', 'QString::asprintf("%0.3e", double(count))', 'QString::asprintf("%0.2e", double(count))', 'bit and error counts with two decimals'),
    ('ro-time-minutes', 'bert/measurementrecord.cpp', 's = hourFrac * 3600.0f;', 's = hourFrac * 360.0f;', 'elapsed minutes wrong'),
    ('ro-ber-zero', 'bert/measurementrecord.cpp', 'QStringLiteral("0.000e-00")', 'QStringLiteral("0.000e+00")', 'a BER of zero reads 0.000e+00'),
    ('ro-power-low', 'bert/measurementrecord.cpp', 'f <= -40.0f', 'f < -40.0f', '-40 dBm shown as a number'),
    ('ro-pattern-unknown', 'bert/measurementrecord.cpp', '    return sliderMax;\n}', '    return 0;\n}', 'an unknown pattern puts the slider at the bottom'),
    ('ro-dial', 'app/mainwindow_measure.cpp', 'ui->RateDial->setValue(int(m.rateBps / 1000));', 'ui->RateDial->setValue(int(m.rateBps / 1024));', 'dial at the wrong rate'),
    ('ro-range-every', 'app/mainwindow_measure.cpp', 'if (model.multiRange() && m.txSettled)', 'if (model.multiRange())', 'the range follows every record, not only the first'),
    ('ro-field-typing', 'app/mainwindow_measure.cpp', 'if (!ui->RateSetting->hasFocus() && ui->RateSetting->value() != m.rateBps / 1000000.0)', 'if (ui->RateSetting->value() != m.rateBps / 1000000.0)', 'records overwrite a rate being typed'),

    # --- Lamps and lamp codes.
    ('lamp-ber-reset', 'app/mainwindow_measure.cpp', 'lamp::show(ui->ErrorReset, berLamp);', '', 'Reset icon does not follow the BER'),
    ('lamp-error-down', 'device/instrument.cpp', 'm.errorsChanged = m.errors != m_lastErrorCount;', 'm.errorsChanged = m.errors > m_lastErrorCount;', 'error lamp not red when the count drops'),
    ('lamp-code3', 'app/mainwindow_measure.cpp', '{lamp::Green, lamp::Green}, {lamp::Green, lamp::Red}}', '{lamp::Green, lamp::Green}, {lamp::Red, lamp::Green}}', 'lamp code 3 swapped'),
    ('lamp-rate', 'app/mainwindow_measure.cpp', 'lamp::show(ui->LEDRate, lamp::Red);', 'lamp::show(ui->LEDRate, lamp::Yellow);', 'rate lamp yellow at rate 0'),
    ('lamp-tx-off', 'app/mainwindow_measure.cpp', 'tx == device::Transmitter::On ? lamp::Green : lamp::Grey', 'tx == device::Transmitter::On ? lamp::Green : lamp::Red', 'Tx icon red when off'),
    ('lamp-log-yellow', 'app/mainwindow_log.cpp', 'log->yellow() ? lamp::Yellow : lamp::Green', 'lamp::Green', 'log lamp never yellow after a row'),
    ('lamp-log-failed', 'app/mainwindow_log.cpp', '    lamp::show(ui->LogBtn, lamp::Red);\n    ui->LogBtn->setToolTip(reason);', '    lamp::show(ui->LogBtn, lamp::Grey);\n    ui->LogBtn->setToolTip(reason);', 'a log that failed while running looks stopped normally'),

    # --- Commands of each model.
    ('cmd-rate-tera', 'bert/models.cpp', 'm.setRateScale = 100000.0; // tens of bit/s', 'm.setRateScale = 1000000.0; // tens of bit/s', 'Tera set-rate unit'),
    ('cmd-pat-nano', 'bert/models.cpp', '    m.letters = "327KJRSLC";\n    m.replyLength', '    m.letters = "327KJSRLC";\n    m.replyLength', 'Nano pattern letters R and S swapped'),
    ('cmd-pat-tera', 'bert/models.cpp', '"37DLC"', '"37LDC"', 'Tera pattern letters swapped'),
    ('cmd-suffix-pos', 'device/instrument.cpp', 'if (position == 0) {', 'if (position <= 1) {', 'custom suffix sent at position 1 too'),
    ('cmd-duty-hex', 'device/instrument.cpp', 'QString::asprintf("%x", customText.toUInt())', 'QString::asprintf("%u", customText.toUInt())', 'duty cycle sent in decimal'),
    ('cmd-tx-toggle', 'device/instrument.cpp', 'const bool on = m_tx == Transmitter::Off;', 'const bool on = m_tx != Transmitter::On;', 'Tx before the first record sends tx 1'),
    ('cmd-reset', 'device/instrument.cpp', '    send(QLatin1String(proto::ResetErrors));', '', 'Reset sends nothing'),
    ('cmd-side-space', 'bert/commandframe.cpp', "int at = buffer.indexOf(QLatin1Char(' '));", "int at = buffer.lastIndexOf(QLatin1Char(' '));", 'side letter after the last word'),
    ('cmd-custom-enter', 'app/mainwindow_controls.cpp', 'void MainWindow::on_CustPatBx_returnPressed()\n{\n    m_instrument->setPattern(ui->SliderPattern->value(), ui->CustPatBx->text());\n}', 'void MainWindow::on_CustPatBx_returnPressed()\n{\n}', 'Enter in the custom field sends nothing'),
    ('cmd-setwl', 'bert/protocol.h', '"SetWL %1"', '"SetWl %1"', 'wavelength command spelt wrong'),

    # --- The rate refused outside the model's rates.
    ('rate-upper', 'bert/ratecontrol.cpp', 'if (kbps >= span.first - 1e-6 && kbps <= span.second + 1e-6)', 'if (kbps >= span.first - 1e-6)', 'a rate above the model is sent'),
    ('rate-refused-said', 'device/instrument.cpp', '        emit rateRefused(why);', '', 'a refused rate is not said in the field'),
    ('rate-refusal-cleared', 'app/mainwindow_controls.cpp', '        ui->RateSetting->setToolTip(m_rateToolTip);', '        ui->RateSetting->setToolTip(ui->RateSetting->toolTip());', 'the refusal stays after a rate went out'),

    # --- The keyboard.
    ('kb-tab-rate', 'app/mainwindow_controls.cpp', '    if (!returnPressed && ui->RateSetting->value() == m_rateAtFocusIn)\n        return;', '', 'a Tab through the rate field sends the rate'),
    ('kb-order', 'app/mainwindow.cpp', '                              ui->TxEnBtn,\n                              ui->WaveLengBtn,', '                              ui->WaveLengBtn,\n                              ui->TxEnBtn,', 'Tab order out of reading order'),
    ('kb-first-focus', 'app/mainwindow.cpp', '    ui->PortSelBox->setFocus(Qt::OtherFocusReason);\n    widgets::markKeyboardFocus(this);', '    widgets::markKeyboardFocus(this);', 'the port list lacks the focus when the window opens'),
    ('kb-mark', 'widgets/focusmark.cpp', 'if (!control->hasFocus() || !control->isEnabled())', 'if (!control->isEnabled())', 'every control shows the focus mark'),
    ('kb-xcvr-order', 'forms/xcvrutils.ui', '  <tabstop>ClrPage</tabstop>\n  <tabstop>ClrStartAddr</tabstop>', '  <tabstop>ClrStartAddr</tabstop>\n  <tabstop>ClrPage</tabstop>', 'utilities Tab order out of reading order'),

    # --- The test log: columns, header, the row rule, full disks.
    ('log-pattern-name', 'bert/testlog.cpp', 'return QStringLiteral("Loopback");', 'return QStringLiteral("Repeat");', 'L logged as Repeat'),
    ('log-columns', 'bert/testlog.cpp', 'f.temperature + QStringLiteral(", ") + f.rx', 'f.rx + QStringLiteral(", ") + f.temperature', 'temperature and Rx columns swapped'),
    ('log-words', 'bert/models.cpp', '"Corvane Nano Tera Log file "', '"Corvane Tera Log file "', 'Tera log words'),
    ('log-row-rule', 'bert/testlog.cpp', 'lastRow.addMSecs(1000) < now', 'lastRow.addMSecs(400) < now', 'rows too often'),
    ('log-span-temp', 'bert/measurementrecord.cpp', '    if (model.transceiverControls)\n        r.temperature', '    r.temperature', 'hidden temperature logged on the low-rate model'),
    ('log-json-signal', 'bert/testlog.cpp', 'QJsonValue(m.lampCode != 1)', 'QJsonValue(m.lampCode == 2)', 'JSON signal false without sync'),
    ('log-open-reason', 'device/testlogfile.cpp', '    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {\n        *error = tr("Cannot write the log file %1: %2").arg(path, m_file.errorString());', '    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {\n        *error = tr("Cannot open the log file %1").arg(path);', 'a log that cannot be opened does not say why'),
    ('log-header-full', 'device/testlogfile.cpp', '            if (!existed)\n                QFile::remove(path);', '', 'a log refused on a full disk leaves an empty file'),
    ('log-write-full', 'device/testlogfile.cpp', '    fail(m_file.errorString());\n    return false;', '    return false;', 'a log that fills the disk goes on silently'),
    ('log-goal-stop', 'device/instrument.cpp', '        m_log->stop();\n        m_statistics->noteLogStopped();', '        m_statistics->noteLogStopped();', 'the log goes on after the confidence goal'),

    # --- Stop conditions of the measurement cycle.
    ('stop-tab', 'app/mainwindow_link.cpp', '    ui->PortSelBox->hide();\n    showTitle();', '    showTitle();', 'Tab reaches the port list under Disconnect'),
    ('stop-dial', 'app/mainwindow_controls.cpp', '    m_instrument->hold(QStringLiteral("the rate dial"));', '', 'holding the dial keeps polling'),
    ('stop-held', 'device/instrument.cpp', 'if (!m_connected || isHeld() || m_owner || m_reidentifying)', 'if (!m_connected || m_owner || m_reidentifying)', 'a held cycle keeps asking'),
    ('stop-request', 'device/instrument.cpp', 'if (!m_connected || isHeld() || m_owner || m_reidentifying)', 'if (!m_connected || isHeld() || m_reidentifying)', 'records asked for while a request holds the line'),
    ('stop-release', 'device/instrument.cpp', '    if (m_holds.isEmpty())\n        restartPolling();', '', 'polling does not resume when the dial or slider is let go'),
    ('resume-reident', 'device/instrument.cpp', '    m_sinceRecord.start();\n    schedulePoll(m_pollInterval);\n}\n\n// --- Commands', '    m_sinceRecord.start();\n}\n\n// --- Commands', 'polling stops after a re-identification'),
    ('reident-skip', 'device/instrument.cpp', '        m_link->skipNext();', '', 'four queries on re-identification'),

    # --- Resynchronisation and plausibility of records.
    ('cycle-resync-ask', 'device/instrument.cpp', '    if (m_reader.resyncing()) {\n        schedulePoll(m_pollInterval);\n        return;\n    }', '', 'a record asked for while the rest of a broken reply arrives'),
    ('cycle-resync-take', 'bert/recordreader.cpp', 'if (wasResyncing || available == 0)', 'if (available == 0)', 'pieces of broken replies taken as a record'),
    ('cycle-plausible-errors', 'bert/measurementrecord.cpp', 'if (m.errors > m.bits)', 'if (m.errors >= m.bits)', 'as many errors as bits refused'),
    ('cycle-plausible-rate', 'bert/measurementrecord.cpp', 'return top <= 0 || m.rateBps <= 2 * top;', 'return top <= 0 || m.rateBps < 2 * top;', 'twice the top rate refused'),

    # --- Staleness after a second without a record.
    ('stale-time', 'device/instrument.h', 'static constexpr int SilenceMs = 1000;', 'static constexpr int SilenceMs = 3000;', 'stale after three seconds'),
    ('stale-request', 'device/instrument.cpp', '        m_sinceRecord.start();\n        schedulePoll(proto::ResumeAfterExchangeMs);', '        schedulePoll(proto::ResumeAfterExchangeMs);', 'stale after every long request'),
    ('stale-from-connect', 'device/instrument.cpp', '    m_sinceRecord.start();\n    // The model is the one', '    // The model is the one', 'an instrument silent from the start never goes stale'),
    ('stale-grey', 'app/mainwindow_measure.cpp', '        label->setEnabled(!stale);', '        label->setEnabled(true);', 'read-outs never greyed'),
    ('stale-recover', 'app/mainwindow_measure.cpp', '        lamp::show(ui->LEDCOM, lamp::Green);\n        ui->LEDCOM->setToolTip(QString());\n    }\n}', '        ui->LEDCOM->setToolTip(QString());\n    }\n}', 'lamp stays yellow once records are back'),
    ('stale-disconnect', 'device/instrument.cpp', '    setStale(true);\n    emit disconnected(QString());', '    emit disconnected(QString());', 'read-outs live after Disconnect'),

    # --- Model rows (bert/models.cpp) and the window each sets up.
    ('model-rates-top', 'bert/models.cpp', '2666080, 4250000}', '2666080, 4250001}', 'Nano dial top'),
    ('model-range-bound', 'bert/models.cpp', '3325000000LL', '3625000000LL', 'a reported 3.4G picks range 2'),
    ('model-first-range', 'bert/models.cpp', 'm.firstRange = 3;', 'm.firstRange = 2;', 'NanoT starts in the wrong range'),
    ('model-reply', 'bert/models.cpp', 'm.replyLength = proto::RecordLengthLong;', 'm.replyLength = proto::RecordLengthShort;', 'NanoT records never taken'),
    ('model-units', 'bert/models.cpp', 'm.rxUnits = QStringLiteral("Mbps");', 'm.rxUnits = QStringLiteral("dBm");', 'Span Rx units'),
    ('model-factor', 'bert/models.cpp', '    m.recordRateFactor = 10;\n    m.setRateScale = 100000.0;', '    m.recordRateFactor = 1;\n    m.setRateScale = 100000.0;', 'Tera rate a tenth'),
    ('model-txsource', 'bert/models.cpp', 'm.txSource = TxSource::Flag;', 'm.txSource = TxSource::Power;', 'Span Tx button shows a power'),
    ('model-span-xcvr', 'bert/models.cpp', 'm.transceiverControls = false;', 'm.transceiverControls = true;', 'Span shows transceiver controls'),
    ('model-tera-xfp', 'bert/models.cpp', 'm.transceiver = Transceiver::Xfp;', 'm.transceiver = Transceiver::Sfp;', 'Tera utilities set up for SFP'),
    ('model-order', 'bert/models.cpp', '        tera(),\n        nano(),', '        nano(),\n        tera(),', 'Nano Tera identified as Nano'),

    # --- Discovery: the port search and the list.
    ('disc-ccs', 'link/portsearch.cpp', '"CCS USB to UART"', '"CCS USB To UART"', 'CCS bridge not asked'),
    ('disc-case', 'link/portsearch.cpp', 'if (description.contains(QLatin1String(d)))', 'if (description.contains(QLatin1String(d), Qt::CaseInsensitive))', 'other devices asked'),
    ('disc-four', 'link/portsearch.cpp', 'for (int i = 0; i < 4; ++i) {', 'for (int i = 0; i < 3; ++i) {', 'three identification queries'),
    ('disc-in-use', 'link/portsearch.cpp', 'if (inUse.contains(entry.path)) {', 'if (false) {', 'a port in use is asked again'),
    ('disc-nomatch', 'link/portsearch.cpp', '": OK, NoMatch ("', '": OK, No match ("', 'NoMatch diagnostic'),
    ('disc-greyed', 'app/mainwindow_link.cpp', '            model->item(index)->setEnabled(false);', '            model->item(index)->setEnabled(true);', 'entries that cannot be chosen look choosable'),
    ('disc-grey-lamp', 'app/mainwindow_link.cpp', '    lamp::show(ui->LEDCOM, lamp::Grey);\n    ui->LEDCOM->setToolTip(QString());\n    m_searchRequested', '    m_searchRequested', 'a new search keeps the red lamp'),
    ('disc-path', 'app/mainwindow_link.cpp', 'const QString path = ui->PortSelBox->itemData(index, PathRole).toString();', 'const QString path = ui->PortSelBox->itemText(index).section(QLatin1Char(\':\'), 0, 0);', 'device paths with colons fail'),

    # --- Identification, also after stale bytes.
    ('ident-last-name', 'bert/identification.cpp', 'line.lastIndexOf(match.name)', 'line.indexOf(match.name)', 'a shortened reply run into the next shows both'),
    ('ident-no-line-end', 'bert/identification.cpp', '    if (lines.isEmpty())\n        lines.append(reply);', '', 'a reply without a line end names nothing'),
    ('ident-printable', 'bert/identification.cpp', 'if (c >= 0x20 && c < 0x7f)', 'if (c != 0)', 'control bytes in the entry'),

    # --- Several windows.
    ('win-one-search', 'app/mainwindow.cpp', '    if (m_pool->hasSearched())', '    if (false)', 'every new window searches the ports again'),
    ('win-in-use', 'app/mainwindow_link.cpp', 'const bool taken = !mine && m_pool->portsInUse().contains(found.path);', 'const bool taken = !mine && false;', 'an instrument in use elsewhere offered'),
    ('win-relist', 'app/mainwindow.cpp', '    connect(m_pool, &device::InstrumentPool::instrumentsChanged, this, &MainWindow::relistPorts);', '', 'a window\'s list not updated when another takes an instrument'),
    ('win-serial', 'widgets/title.h', 'QStringLiteral(" (SN %1)")', 'QStringLiteral(" %1")', 'secondary window titles'),
    ('win-side-title', 'app/mainwindow_link.cpp', '        title += tr(" (side B)");', '        title += QString();', 'side B not in the title'),

    # --- Requests for the line (device/instrument.cpp, replycollector.cpp).
    ('req-first-delay', 'device/instrument.cpp', '    // A cycle already scheduled still runs once, reads what arrived and stops.\n    m_stepTimer->start(qMax(0, m_step.delayMs));', '    m_stepTimer->start(0);', 'commands go out at once, not after their delay'),
    ('req-count', 'device/replycollector.cpp', '(m_step.count > 0 && m_got.size() >= m_step.count)', '(m_step.count > 0 && m_got.size() > m_step.count)', 'a reply complete by count waits for its time-out'),
    ('req-terminator', 'device/replycollector.cpp', 'm_got.contains(m_step.terminator)', 'm_got.endsWith(m_step.terminator + m_step.terminator)', 'a reply complete by terminator waits for its time-out'),
    ('req-time-only', 'device/replycollector.cpp', 'return !condition || complete() ? Ended::Complete : Ended::TimedOut;', 'return complete() ? Ended::Complete : Ended::TimedOut;', 'a time-only step reported as timed out'),
    ('req-look-seen', 'device/replycollector.cpp', '    if (complete())\n        m_seen = true;', '', 'a complete scan is taken only at the last look'),
    ('req-looks', 'device/instrument.h', 'static constexpr int ScanLooks = 100;', 'static constexpr int ScanLooks = 50;', 'a missing scan given up early'),
    ('req-resume', 'device/instrument.cpp', '        schedulePoll(proto::ResumeAfterExchangeMs);\n    }\n    emit busyChanged(false);', '    }\n    emit busyChanged(false);', 'polling never resumes after a request'),
    ('req-resume-twice', 'device/instrument.cpp', '        schedulePoll(proto::ResumeAfterExchangeMs);\n    }\n    emit busyChanged(false);', '        schedulePoll(proto::ResumeAfterExchangeMs);\n        QTimer::singleShot(proto::ResumeAfterExchangeMs, this, [this] { cycle(); });\n    }\n    emit busyChanged(false);', 'polling resumes twice: two chains of requests'),
    ('req-second', 'device/instrument.cpp', '    else if (m_owner)\n', '    else if (false)\n', 'a second request takes over the line'),
    ('req-owner-gone', 'device/instrument.cpp', '    m_ownerGone = connect(owner, &QObject::destroyed, this,\n                          [this] { endRequest(QString(), false); });', '    m_ownerGone = QMetaObject::Connection();', 'a closed window keeps the line'),
    ('req-cut-reason', 'device/instrument.cpp', '        finished(reason);', '        finished(QString());', 'a request cut short does not say why'),
    ('req-lost', 'device/instrument.cpp', '    if (m_owner)\n        endRequest(reason, true);\n    m_link->close();', '    m_link->close();', 'an unplug during a request leaves it hanging'),

    # --- Eye levels, scan and saves.
    ('eye-limit', 'eye/eye.cpp', 'constexpr int MinimumRateMbps = 4975;', 'constexpr int MinimumRateMbps = 4976;', '4975 Mbps refused'),
    ('eye-scale', 'eye/eye.cpp', 'this, ui->EyeScale->currentIndex() + 1,', 'this, ui->EyeScale->currentIndex(),', 'Scan n one too low'),
    ('eye-second-press', 'eye/eye.cpp', '    if (scanning())\n        return;', '', 'a second press during the scan says busy'),
    ('eye-normal', 'eye/eyelevels.cpp', 'level = (255 - s) * g / 50;', 'level = (255 - s) * g / 51;', 'normal view levels'),
    ('eye-clamp', 'eye/eyelevels.cpp', 'return level >= 256 ? 255', 'return level > 256 ? 255', 'level 256 not clamped'),
    ('eye-order', 'eye/eyelevels.cpp', '        if (shading.invert)\n            l = 255 - l;\n        if (shading.blackWhite)\n            l = l >= 129 ? 255 : 0;', '        if (shading.blackWhite)\n            l = l >= 129 ? 255 : 0;\n        if (shading.invert)\n            l = 255 - l;', 'black-and-white before invert'),
    ('eye-missing', 'eye/eyelevels.cpp', 'const qint64 s = has ? b[p] : 0; // a missing cell counts as 255 - s = 255', 'const qint64 s = has ? b[p] : 255;', 'missing cells black in the normal view'),
    ('eye-rows', 'eye/eyelevels.h', 'return (Size - 1 - row) * Size + column;', 'return row * Size + column;', 'eye upside down'),
    ('eye-vert', 'eye/eyelevels.cpp', 'opening.mid(10, 6)', 'opening.mid(10, 5)', 'vertical text line'),
    ('eye-csv-rows', 'eye/eyelevels.cpp', 'const qint16 v = s[row * Size + col];', 'const qint16 v = s[(Size - 1 - row) * Size + col];', 'CSV upside down'),
    ('eye-csv-ask', 'eye/eye.cpp', '|| m_written.contains(csv) || askReplace(this, csv))', '|| m_written.contains(csv) || true)', 'the user\'s CSV replaced without asking'),
    ('eye-csv-own', 'eye/eye.cpp', '    m_written << csv;\n    report(', '    report(', 'the window\'s own CSV asked about again'),
    ('eye-save-full', 'widgets/savefolder.cpp', '    if (file.write(bytes) != bytes.size()) {\n        *error = file.errorString();', '    if (file.write(bytes) != bytes.size()) {\n        *error = QStringLiteral("write failed");', 'a full disk not named'),
    ('eye-folder', 'eye/eye.cpp', '    widgets::rememberFolderOf(QLatin1String(ImageFolderKey), name);', '', 'the folder not remembered'),
    ('eye-cut', 'eye/eye.cpp', '    showMessage(Message::Lost, tr("Scan stopped: %1").arg(reason));', '', 'a lost scan not said'),

    # --- Transceiver utilities.
    ('x-dump-xfp', 'xcvr/xcvrlogic.cpp', 'case Kind::Xfp: return QLatin1String(proto::DumpXfp);', 'case Kind::Xfp: return QLatin1String(proto::DumpSfp);', 'XFP dump sends SFP'),
    ('x-read-raw', 'xcvr/xcvrutils.cpp', '    step.raw = true;\n    step.command = xcvr::readCommand(', '    step.raw = false;\n    step.command = xcvr::readCommand(', 'Rd gets the side letter'),
    ('x-write-info', 'bert/protocol.h', 'WriteSfpInfo[] = "WrSFP I %1 %2"', 'WriteSfpInfo[] = "WrSFP D %1 %2"', 'Info write letter'),
    ('x-wr-busy', 'xcvr/xcvrutils.cpp', '        report(tr("%1. The register was not written.").arg(why));\n        return;', '        report(tr("%1. The register was not written.").arg(why));', 'Wr lands in the middle of an operation'),
    ('x-progress', 'xcvr/xcvrlogic.cpp', 'const int total = 3 * (end - start + 1) + PreambleSteps;', 'const int total = 3 * (end - start + 1) + 4;', 'clear progress'),
    ('x-lower', 'xcvr/xcvrlogic.cpp', 'if (rb.value == plan.data.toLower()) {', 'if (rb.value == plan.data) {', 'FF never passes'),
    ('x-limit', 'xcvr/xcvrlogic.h', 'inline constexpr int ReadBackLimit = 12;', 'inline constexpr int ReadBackLimit = 11;', 'fail after 11 read-backs'),
    ('x-password', 'xcvr/xcvrlogic.cpp', 'const char *const PasswordRegisters[4] = {"7B", "7C", "7D", "7E"};', 'const char *const PasswordRegisters[4] = {"7C", "7B", "7D", "7E"};', 'password order'),
    ('x-page-a2', 'xcvr/xcvrlogic.cpp', 'if (text == QLatin1String("A2") || text == QLatin1String("a2")) {', 'if (text == QLatin1String("A2")) {', 'page a2 refused'),
    ('x-page-first', 'xcvr/xcvrutils.cpp', 'if (m_kind == xcvr::Kind::Sfp && !xcvr::sfpPageOf(plan.pageText, &plan.page)) {', 'if (m_kind == xcvr::Kind::Sfp && !xcvr::sfpPageOf(plan.pageText, &plan.page) && blocker().isEmpty()) {', 'a wrong page hidden behind the refusal'),
    ('x-silent', 'xcvr/xcvrutils.cpp', '        case xcvr::Verdict::NoReply:\n            ++m_silences;', '        case xcvr::Verdict::NoReply:', 'a silent clear never ends'),
    ('x-test-pace', 'xcvr/xcvrutils.cpp', 'constexpr int TestLookMs = 200;', 'constexpr int TestLookMs = 100;', 'loop-back report read too early'),
    ('x-console-raw', 'xcvr/xcvrutils.cpp', '            step.raw = true;\n            step.command = line;', '            step.raw = false;\n            step.command = line;', 'console gets the side letter'),
    ('x-console-typed', 'xcvr/xcvrutils.cpp', '        if (!m_programLines.contains(*it))\n            return *it;', '        return *it;', 'console sends the program\'s own lines'),
    ('x-side-order', 'xcvr/xcvrutils.cpp', 'if (text.contains(QLatin1String("Side=A"))) {', 'if (text.contains(QLatin1String("Side=A")) && !text.contains(QLatin1String("Side=B"))) {', 'Side=B wins over Side=A'),

    # --- Wavelength.
    ('wl-high', 'wavelength/wavelengthgrid.h', 'inline constexpr double HighestNm = 1650.0;', 'inline constexpr double HighestNm = 1660.0;', 'read-outs above 1650 nm accepted'),
    ('wl-channel', 'wavelength/wavelengthgrid.cpp', 'return int(n / 5);', 'return int((n + 2) / 5);', 'channel rounded, not the one at or below'),
    ('wl-wavelength', 'wavelength/wavelengthgrid.cpp', 'return int(rounded(LightSpeedNmPerS / (channel * TeraHz / 20) * 100));', 'return int(LightSpeedNmPerS / (channel * TeraHz / 20) * 100);', 'channel wavelength truncated'),
    ('wl-hundredths', 'wavelength/wavelengthgrid.cpp', 'return int(std::floor(nm * 100 + 1e-6));', 'return int(std::floor(nm * 100));', '1300.09 opens a hundredth low'),
    ('wl-ok-twice', 'wavelength/wavelengthdb.cpp', '        m_instrument->setWavelength(ui->NewWLBx->text());', '        m_instrument->setWavelength(ui->NewWLBx->text()), m_instrument->setWavelength(ui->NewWLBx->text());', 'OK sends twice'),
    ('wl-ok-grey', 'wavelength/wavelengthdb.cpp', 'm_instrument && m_instrument->isConnected() && m_instrument->model().tunable', 'm_instrument && m_instrument->isConnected()', 'OK offered for an instrument that cannot tune'),

    # --- About.
    ('about-model', 'forms/aboutbx.ui', 'Corvane Nano Tera (CVN-1012)', 'Corvane Nano Tera (CVN-1021)', 'model list'),
    ('about-licence', 'about/aboutbx.cpp', 'const char LicencePath[] = ":/licence/lgpl-3.0.html";', 'const char LicencePath[] = ":/licence/lgpl-3.html";', 'licence missing'),
    ('about-disconnected', 'about/aboutbx.cpp', 'instrument && instrument->isConnected() ? instrument->title()', 'instrument ? instrument->title()', 'an instrument no longer connected in the build line'),

    # --- The link.
    ('link-lost-silent', 'link/link.cpp', '    m_connected = false;\n    emit lost(reason);', '    m_connected = false;', 'an unplugged instrument not noticed'),
    ('link-in-use', 'link/link.cpp', 'tr("the port is in use by another program (%1)")', 'tr("the port is busy (%1)")', 'a port held elsewhere'),

    # --- SCPI: instrument commands (remote/scpicommands.cpp, figures.cpp).
    ('scpi-idn', 'remote/scpicommands.cpp', 'QStringLiteral("Corvane,%1,%2,%3")', 'QStringLiteral("CORVANE,%1,%2,%3")', '*IDN? maker'),
    ('scpi-catalog-empty', 'remote/scpicommands.cpp', 'entries.isEmpty() ? scpi::quoted(QString()) : entries.join(\',\')', 'entries.join(\',\')', 'empty catalogue not a string'),
    ('scpi-select-unknown', 'remote/scpicommands.cpp', '        call->fail(scpi::IllegalParameterValue);\n    });\n    set->add(QStringLiteral("INSTrument:SELect?")', '        call->done();\n    });\n    set->add(QStringLiteral("INSTrument:SELect?")', 'an unknown serial number accepted'),
    ('scpi-rst-write', 'remote/scpicommands.cpp', '                 c->writeEnabled = false;\n', '', '*RST leaves register writes enabled'),
    ('scpi-count', 'remote/scpicommands.cpp', 'return value >= 0 && value < 9.2e18 ? scpi::formatInteger(qint64(value))', 'return value >= 0 && value < 9.2e3 ? scpi::formatInteger(qint64(value))', 'counts in exponent form'),
    ('scpi-all-order', 'remote/scpicommands.cpp', '        add(real(r.rxDbm));\n        add(real(r.txDbm));', '        add(real(r.txDbm));\n        add(real(r.rxDbm));', 'FETC:ALL? Rx and Tx swapped'),
    ('scpi-all-stale', 'remote/scpicommands.cpp', 'add(scpi::formatInteger(r.stale ? 1 : 0));', 'add(scpi::formatInteger(0));', 'FETC:ALL? never stale'),
    ('scpi-read-timeout', 'remote/scpicommands.cpp', '                     if (!call->isComplete())\n                         call->fail(scpi::HardwareError);', '                     if (!call->isComplete())\n                         call->replyNone();', 'READ:ALL? without a record answers no value'),
    ('scpi-rate-unit', 'remote/scpicommands.cpp', 'const double mbps = bps / 1e6;', 'const double mbps = bps / 1e3;', 'SOUR:RATE taken in kbit/s'),
    ('scpi-pattern-unknown', 'remote/scpicommands.cpp', '                 call->fail(scpi::IllegalParameterValue);\n             }));\n    set->add(QStringLiteral("SOURce:PATTern?")', '                 call->done();\n             }));\n    set->add(QStringLiteral("SOURce:PATTern?")', 'an unknown pattern accepted silently'),
    ('scpi-output-unknown', 'remote/scpicommands.cpp', 'case device::Transmitter::Unknown: call->replyNone(); return;', 'case device::Transmitter::Unknown: call->reply(0); return;', 'OUTP? before the first record says off'),
    ('scpi-wavelength-grid', 'remote/scpicommands.cpp', 'i->setWavelength(wavelength::wavelengthText(wavelength::wavelengthOf(channel)));', 'i->setWavelength(wavelength::wavelengthText(wavelength::hundredths(nm)));', 'wavelength off the grid'),
    ('scpi-reg-protect', 'remote/scpicommands.cpp', '                 if (!c->writeEnabled) {', '                 if (false) {', 'register writes without enabling them'),
    ('scpi-reg-raw', 'remote/scpicommands.cpp', '                 step.raw = true;\n', '', 'register read gets the side letter'),
    ('scpi-log-error', 'remote/scpicommands.cpp', 'call->fail(scpi::ExecutionError.detail(error));', 'call->fail(scpi::ExecutionError);', 'a log that cannot start does not say why'),

    # --- SCPI: the engine (remote/scpi.cpp).
    ('scpi-none', 'remote/scpi.cpp', 'return QByteArrayLiteral("9.91E+37");', 'return QByteArrayLiteral("9.9E+37");', 'no-value marker'),
    ('scpi-error-format', 'remote/scpi.cpp', "return formatInteger(error.code) + ',' + quoted(error.text);", "return formatInteger(error.code) + ';' + quoted(error.text);", 'error entries unreadable'),
    ('scpi-join', 'remote/scpi.cpp', "QByteArray line = m_replies.join(';');", "QByteArray line = m_replies.join(',');", 'replies joined with commas'),
    ('scpi-queue', 'remote/scpi.cpp', '        m_errors.back() = QueueOverflow;', '', 'queue overflow not said'),
    ('scpi-bool', 'remote/scpi.cpp', 'if (word == "ON" || word == "1") {', 'if (word == "ON") {', '1 not true'),
    ('scpi-opc', 'remote/scpi.cpp', 'waiting->reply(formatInteger(1));', 'waiting->reply(formatInteger(0));', '*OPC? answers 0'),
    ('scpi-path', 'remote/scpi.cpp', 'path = unit.nodes.mid(0, unit.nodes.size() - 1);', 'path.clear();', 'relative headers undefined'),

    # --- The metrics text (remote/metrics.cpp, figures.cpp).
    ('met-total', 'remote/metrics.cpp', 'counter ? "_total" : ""', '""', 'counters without _total'),
    ('met-wavelength', 'remote/metrics.cpp', 'return *f.wavelengthNm / 1e9;', 'return *f.wavelengthNm / 1e6;', 'wavelength in mm'),
    ('met-finite', 'remote/metrics.cpp', 'if (!v || !std::isfinite(*v) || (counter && *v < 0))', 'if (!v || (counter && *v < 0))', 'NaN and infinity served'),
    ('met-escape', 'remote/metrics.cpp', "            case '\\n': out.append(\"\\\\n\", 2); break;\n", '', 'line feeds in labels break the text'),
    ('met-empty-family', 'remote/metrics.cpp', '    if (!m_familyHasSamples)\n        m_out.resize(m_familyStart);', '', 'families without samples served'),
    ('met-eof', 'remote/metrics.cpp', '        appendLiteral(m_out, "# EOF\\n");', '        appendLiteral(m_out, "");', 'OpenMetrics without # EOF'),
    ('met-rx-dashed', 'remote/figures.cpp', 'if (!model.rxShowsRate && !bert::powerOutOfRange(m.rxDbm))', 'if (!model.rxShowsRate)', 'dashed Rx served as -40'),
    ('met-timestamp', 'remote/figures.cpp', 'f.lastRecordUnixSeconds = double(instrument.lastRecordMs()) / 1000.0;', 'f.lastRecordUnixSeconds = double(instrument.lastRecordMs());', 'last record time in ms'),

    # --- The headless runner's exit statuses (remote/headless.cpp).
    ('hl-ber', 'remote/headless.cpp', '    if (status == Finished && above)\n        status = BerTooHigh;', '', 'a BER above --max-ber exits 0'),
    ('hl-not-found', 'remote/headless.cpp', '                say(QStringLiteral("no instrument %1 found").arg(wanted));\n                finish(NoInstrument);', '                say(QStringLiteral("no instrument %1 found").arg(wanted));\n                finish(BadUsage);', 'an instrument not found exits 2'),
    ('hl-shared-log', 'remote/headless.cpp', '                .arg(config.logPattern));\n        finish(BadUsage);', '                .arg(config.logPattern));\n        finish(Finished);', 'a shared log exits 0'),
    ('hl-all-lost', 'remote/headless.cpp', '    if (std::all_of(runs.begin(), runs.end(), [](const Run &r) { return r.lost; }))\n        finish(NoInstrument);\n}', '}', 'the run goes on with every instrument lost'),
    ('hl-log-fail', 'remote/headless.cpp', '            say(error);\n            finish(BadUsage);', '            say(error);\n            finish(Finished);', 'a log that cannot start exits 0'),
    ('hl-signal', 'remote/headless.cpp', '            d->finish(Finished);\n        });', '            d->finish(BerTooHigh);\n        });', 'SIGTERM exits 1'),

    # --- Statistics.
    ('stats-not-saved', 'stats/statswindow.cpp', 'tr("Not saved: %1: %2").arg(shown, error)', 'tr("Not saved: %1").arg(shown)', 'a failed export does not say why'),
]
