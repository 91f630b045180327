#pragma once
// Unimod files for the list and generator tests, kept out of the test source
// because moc does not read raw string literals.

// Fields by position: key, PSI-MS name, interim name, composition,
// description, monoisotopic mass, average mass, specificities. Not in mass
// order, so lookups must go through the sorted positions; the substitution's
// arrow is escaped twice as older exports did. The last entry is one of
// Unimod's placeholders for user-defined modifications.
inline const char* const kUnimod = R"XML(<?xml version="1.0"?>
<u><list count="8">
 <m><k>35</k><p>Oxidation</p><i>Oxidation</i><c>O</c><d>Oxidation or Hydroxylation</d><mm>15.994915</mm><am>15.9994</am>
  <s count="1"><x><a>M</a><b>Anywhere</b><c>Artefact</c></x></s></m>
 <m><k>2</k><p>Amidated</p><i>Amidated</i><c>H N O(-1)</c><d>Amidation</d><mm>-0.984016</mm><am>-0.9848</am><s count="0"/></m>
 <m><k>901</k><p/><i>End17</i><c/><d>upper end</d><mm>17</mm><am>17</am><s count="0"/></m>
 <m><k>7</k><p>Deamidated</p><i>Deamidated</i><c>H(-1) N(-1) O</c><d>Deamidation</d><mm>0.984016</mm><am>0.9848</am><s count="0"/></m>
 <m><k>900</k><p/><i>End14</i><c/><d>lower end</d><mm>14</mm><am>14</am><s count="0"/></m>
 <m><k>1196</k><p>Ala->Ser</p><i>Ala-&amp;gt;Ser</i><c>O</c><d>Ala-&amp;gt;Ser substitution</d><mm>15.994915</mm><am>15.9994</am><s count="0"/></m>
 <m><k>34</k><p>Methyl</p><i>Methyl</i><c>H(2) C</c><d>Methylation</d><mm>14.01565</mm><am>14.0266</am><s count="0"/></m>
 <m><k>99900</k><p>CUSTOM0</p><i>CUSTOM0</i><c>H(1)</c><d>custom modification 0</d><mm>1.00784</mm><am>1.00811</am><s count="0"/></m>
</list></u>
)XML";

// The official layout (schema unimod_2): namespaced elements, names and masses
// in attributes, modifications in no particular order, one without a delta.
inline const char* const kOfficialUnimod = R"XML(<?xml version="1.0" encoding="utf-8"?>
<!--Copyright (C) 2002-2006 Unimod; see the accompanying Design Science License-->
<umod:unimod xmlns:umod="http://www.unimod.org/xmlns/schema/unimod_2" majorVersion="2" minorVersion="0">
 <umod:elements><umod:elem title="O" mono_mass="15.99491463"/></umod:elements>
 <umod:modifications>
  <umod:mod title="Methyl" full_name="Methylation" record_id="34" date_time_modified="2018-01-02 10:00:00">
   <umod:specificity hidden="0" site="K" position="Anywhere" classification="Post-translational" spec_group="1"/>
   <umod:specificity hidden="0" site="R" position="Anywhere" classification="Post-translational" spec_group="2"/>
   <umod:delta mono_mass="14.01565" avge_mass="14.0266" composition="H(2) C"><umod:element symbol="C" number="1"/></umod:delta>
  </umod:mod>
  <umod:mod title="Ala-&gt;Ser" full_name="Ala-&gt;Ser substitution" record_id="540" date_time_modified="2019-10-17 16:01:58">
   <umod:specificity hidden="1" site="A" position="Anywhere" classification="AA substitution" spec_group="1"/>
   <umod:delta mono_mass="15.994915" avge_mass="15.9994" composition="O"/>
  </umod:mod>
  <umod:mod title="Dehydrated" full_name="Dehydration" record_id="23" date_time_modified="2017-01-01 00:00:00">
   <umod:delta mono_mass="-18.010565" avge_mass="-18.0153" composition="H(-2) O(-1)"/>
  </umod:mod>
  <umod:mod title="Broken" full_name="No delta" record_id="9999"/>
 </umod:modifications>
</umod:unimod>
)XML";
